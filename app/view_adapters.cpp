#include "app/view_adapters.h"

#include <QAction>
#include <QApplication>
#include <QAudioOutput>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMediaPlayer>
#include <QMetaEnum>
#include <QSignalBlocker>
#include <QTextBrowser>
#include <QTextCursor>
#include <QUrl>
#include <stdexcept>

#include "app/application.h"
#include "app/owner_drawn_menu.h"
#include "app/settings_file.h"
#include "app/xkb_keyboard.h"
#include "locale/code_page.h"
#include "lookup/rtf_reader.h"
#include "lookup/widgets/hint_list_box.h"

namespace vorlano {

Q_LOGGING_CATEGORY(lcLookup, "vorlano.lookup", QtWarningMsg)

int CodePageOf(TCharSet charSet) { return charSet == TCharSet::Cyrillic ? 1251 : 1252; }

std::u16string ToU16(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<std::size_t>(text.size()));
}

QString FromU16(const std::u16string& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QString DecodeBytes(const std::string& bytes, TCharSet charSet) {
    return FromU16(pirin::TCodePage::Of(CodePageOf(charSet)).Decode(bytes));
}

// ---- entry box ----
std::u16string TEntryBoxView::Text() const { return ToU16(FEdit->text()); }
void TEntryBoxView::SetText(const std::u16string& text) { FEdit->setText(FromU16(text)); }
bool TEntryBoxView::WholeTextSelected() const {
    return FEdit->hasSelectedText() && FEdit->selectionStart() == 0 &&
           FEdit->selectedText().size() == FEdit->text().size();
}
void TEntryBoxView::SelectAll() { FEdit->selectAll(); }
void TEntryBoxView::SetCaretToEnd() { FEdit->end(false); }
void TEntryBoxView::PasteFromClipboard() { FEdit->paste(); }

// ---- word list ----
void TWordListView::SetItems(const std::vector<std::string>& items) {
    FItems = items;
    ShowItems();
}

void TWordListView::SetCharSet(TCharSet charSet) {
    if (charSet == FCharSet) return;
    FCharSet = charSet;
    ShowItems();
}

void TWordListView::ShowItems() {
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(FItems.size()));
    for (const auto& item : FItems) texts << DecodeBytes(item, FCharSet);
    // The logic changes the list: no click handler runs for it.
    const QSignalBlocker blocker(FList);
    const int row = FList->currentRow();
    FList->clear();
    FList->addItems(texts);
    if (row >= 0 && row < FList->count()) FList->setCurrentRow(row);
}
int TWordListView::ItemIndex() const { return FList->currentRow(); }
void TWordListView::SetItemIndex(int index) {
    const QSignalBlocker blocker(FList);
    FList->setCurrentRow(index);
    if (index >= 0 && index < FList->count())
        FList->scrollToItem(FList->item(index), QAbstractItemView::PositionAtTop);
}

// ---- headword label and article ----
void TLabelView::SetCaption(const std::string& bytes) {
    FCaption = bytes;
    FLabel->setText(DecodeBytes(bytes, FCharSet));
}

void TLabelView::SetCharSet(TCharSet charSet) {
    FCharSet = charSet;
    FLabel->setText(DecodeBytes(FCaption, FCharSet));
}

void TArticleView::LoadArticle(const std::string& bytes) {
    FView->setHtml(QString::fromStdString(ArticleToHtml(bytes)));
}
std::u16string TArticleView::SelectedText() const {
    return ToU16(FView->textCursor().selectedText());
}

// ---- visibility ----
void TWidgetVisibility::SetVisible(bool visible) { FWidget->setVisible(visible); }
bool TWidgetVisibility::Visible() const { return !FWidget->isHidden(); }
void TSpecialCharsView::SetVisible(bool visible) { FButton->setVisible(visible); }
bool TSpecialCharsView::Visible() const { return !FButton->isHidden(); }

// ---- desktop services ----
void TMessageBoxView::Show(const std::string& utf8Text) {
    ShowPlainMessage(FParent, QString::fromStdString(utf8Text));
}

void TClipboardView::SetText(const std::u16string& text) {
    QApplication::clipboard()->setText(FromU16(text));
}

bool TKeyboardLayout::IsBulgarianKeyboard() const {
    const std::optional<QString> group = ActiveKeyboardGroupName();
    const bool bulgarian =
        group ? group->contains(QStringLiteral("Bulgarian"), Qt::CaseInsensitive) : FLastCyrillic;
    const QString report =
        QStringLiteral("keyboard %1 %2")
            .arg(group ? QStringLiteral("xkb \"%1\"").arg(*group) : QStringLiteral("last-letter"),
                 bulgarian ? QStringLiteral("bulgarian") : QStringLiteral("other"));
    if (report != FLastReport) {
        FLastReport = report;
        qCDebug(lcLookup).noquote() << report;
    }
    return bulgarian;
}
void TKeyboardLayout::NoteTypedLetter(QChar letter) {
    if (letter.isLetter()) FLastCyrillic = letter.script() == QChar::Script_Cyrillic;
}

TSoundPlayer::TSoundPlayer() = default;
TSoundPlayer::~TSoundPlayer() = default;

void TSoundPlayer::Close() {
    if (FPlayer) FPlayer->stop();
}

void TSoundPlayer::Play(const std::string& path) {
    if (!FPlayer) {
        FPlayer = std::make_unique<QMediaPlayer>();
        FOutput = std::make_unique<QAudioOutput>();
        FPlayer->setAudioOutput(FOutput.get());
        QObject::connect(
            FPlayer.get(), &QMediaPlayer::mediaStatusChanged, [](QMediaPlayer::MediaStatus status) {
                qCDebug(lcLookup).noquote()
                    << "sound-status"
                    << QMetaEnum::fromType<QMediaPlayer::MediaStatus>().valueToKey(status);
            });
        QObject::connect(FPlayer.get(), &QMediaPlayer::errorOccurred,
                         [](QMediaPlayer::Error, const QString& text) {
                             qCDebug(lcLookup).noquote() << "sound-error" << text;
                         });
    }
    FLastSource = QString::fromStdString(path);
    qCDebug(lcLookup).noquote() << "sound" << FLastSource;
    FPlayer->setSource(QUrl::fromLocalFile(FLastSource));
    FPlayer->play();
}

bool TCheckItemView::Checked() const { return TOwnerDrawnMenu::Ticked(FAction); }
void TCheckItemView::SetChecked(bool checked) { TOwnerDrawnMenu::SetTicked(FAction, checked); }

void TSettingsWriter::WriteActiveTranslate(bool on) {
    if (!TIniFile(FPath).WriteBool("SETTINGS", "ActiveTranslate", on))
        throw std::runtime_error("Unable to write to " + FPath);
}

void TLookupLog::Write(const std::string& utf8Line) {
    qCDebug(lcLookup).noquote() << QString::fromStdString(utf8Line);
}

}  // namespace vorlano
