// The Qt realisations of the interfaces the dictionary logic talks to
// (lookup/lookup_views.h): entry box, word list, headword label, article,
// speaker, special-characters button, message box, clipboard, keyboard
// layout, window restore, sound player, the clipboard tray item, the
// settings writer and the lookup log (Qt category "vorlano.lookup").
// Single-byte texts are decoded with the control's character set
// (Windows-1251 for Cyrillic, Windows-1252 for Western).
//
// Ownership: each adapter points at widgets the main window owns and lives
// in the main window. Threads: GUI thread. Failures: the settings writer
// throws std::runtime_error "Unable to write to <path>"; the player's
// failures are the caller's to swallow.
#pragma once

#include <QLoggingCategory>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "lookup/lookup_views.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMediaPlayer;
class QAudioOutput;
class QTextBrowser;
class QWidget;

namespace vorlano {

Q_DECLARE_LOGGING_CATEGORY(lcLookup)

class THintListBox;
class TPictureButton;

int CodePageOf(TCharSet charSet);
QString DecodeBytes(const std::string& bytes, TCharSet charSet);
std::u16string ToU16(const QString& text);
QString FromU16(const std::u16string& text);

class TEntryBoxView final : public IEntryBox {
  public:
    explicit TEntryBoxView(QLineEdit* edit) : FEdit(edit) {}
    std::u16string Text() const override;
    void SetText(const std::u16string& text) override;
    bool WholeTextSelected() const override;
    void SelectAll() override;
    void SetCaretToEnd() override;
    void PasteFromClipboard() override;
    void SetCharSet(TCharSet charSet) override { FCharSet = charSet; }

  private:
    QLineEdit* FEdit;
    TCharSet FCharSet = TCharSet::Cyrillic;
};

class TWordListView final : public IWordListView {
  public:
    explicit TWordListView(THintListBox* list) : FList(list) {}
    void SetItems(const std::vector<std::string>& items) override;
    int ItemIndex() const override;
    void SetItemIndex(int index) override;
    // The same bytes are shown again in the new character set.
    void SetCharSet(TCharSet charSet) override;

  private:
    void ShowItems();

    THintListBox* FList;
    TCharSet FCharSet = TCharSet::Cyrillic;
    std::vector<std::string> FItems;
};

class TLabelView final : public ILabelView {
  public:
    explicit TLabelView(QLabel* label) : FLabel(label) {}
    void SetCaption(const std::string& bytes) override;
    void SetCharSet(TCharSet charSet) override;

  private:
    QLabel* FLabel;
    TCharSet FCharSet = TCharSet::Cyrillic;
    std::string FCaption;
};

class TArticleView final : public IArticleView {
  public:
    explicit TArticleView(QTextBrowser* view) : FView(view) {}
    void LoadArticle(const std::string& bytes) override;
    std::u16string SelectedText() const override;

  private:
    QTextBrowser* FView;
};

class TWidgetVisibility final : public IVisibleControl {
  public:
    explicit TWidgetVisibility(QWidget* widget) : FWidget(widget) {}
    void SetVisible(bool visible) override;
    bool Visible() const override;

  private:
    QWidget* FWidget;
};

class TSpecialCharsView final : public ISpecialCharsButton {
  public:
    explicit TSpecialCharsView(QWidget* button) : FButton(button) {}
    void SetVisible(bool visible) override;
    bool Visible() const override;
    void SetMenu(TSpecialMenu menu) override { FMenu = menu; }
    TSpecialMenu Menu() const override { return FMenu; }

  private:
    QWidget* FButton;
    TSpecialMenu FMenu = TSpecialMenu::None;
};

class TMessageBoxView final : public IMessageBox {
  public:
    explicit TMessageBoxView(QWidget* parent) : FParent(parent) {}
    void Show(const std::string& utf8Text) override;

  private:
    QWidget* FParent;
};

class TClipboardView final : public IClipboard {
  public:
    void SetText(const std::u16string& text) override;
};

// Bulgarian when the active XKB group's name says so; where the platform
// names no group, when the last letter typed was Cyrillic. Each change of
// the answer or of where it came from is logged ("keyboard ...").
class TKeyboardLayout final : public IKeyboardLayout {
  public:
    bool IsBulgarianKeyboard() const override;
    // The script of the last letter typed, used where XKB cannot be asked.
    void NoteTypedLetter(QChar letter);

  private:
    bool FLastCyrillic = true;
    mutable QString FLastReport;
};

class TWindowRestorer final : public IWindowRestorer {
  public:
    TWindowRestorer(std::function<void()> minimize, std::function<void()> restore)
        : FMinimize(std::move(minimize)), FRestore(std::move(restore)) {}
    void Minimize() override { FMinimize(); }
    void ShowAndRestore() override { FRestore(); }

  private:
    std::function<void()> FMinimize, FRestore;
};

// Plays through one QMediaPlayer made on first use. Its failures are
// swallowed (the user sees nothing) but logged: "sound <file>" for each
// request, "sound-status <status>" as the media loads and "sound-error
// <text>" when it cannot be played (no audio device, a broken file).
class TSoundPlayer final : public ISoundPlayer {
  public:
    TSoundPlayer();
    ~TSoundPlayer() override;
    void Close() override;
    void Play(const std::string& path) override;
    const QString& LastSource() const noexcept { return FLastSource; }

  private:
    std::unique_ptr<QMediaPlayer> FPlayer;
    std::unique_ptr<QAudioOutput> FOutput;
    QString FLastSource;
};

class TCheckItemView final : public ICheckItem {
  public:
    explicit TCheckItemView(QAction* action) : FAction(action) {}
    bool Checked() const override;
    void SetChecked(bool checked) override;

  private:
    QAction* FAction;
};

class TSettingsWriter final : public ISettingsWriter {
  public:
    explicit TSettingsWriter(std::string path) : FPath(std::move(path)) {}
    void WriteActiveTranslate(bool on) override;

  private:
    std::string FPath;
};

class TLookupLog final : public ILookupLog {
  public:
    void Write(const std::string& utf8Line) override;
};

}  // namespace vorlano
