#include "app/main_window.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QTextBrowser>
#include <QWindow>

#include "app/application.h"
#include "app/artwork.h"
#include "app/help_window.h"
#include "app/owner_drawn_menu.h"
#include "app/picture_button.h"
#include "app/settings_file.h"
#include "app/view_adapters.h"
#include "locale/code_page.h"
#include "lookup/dictionary_catalogue.h"
#include "lookup/dictionary_lookup.h"
#include "lookup/widgets/hint_list_box.h"

namespace vorlano {
namespace {

// A filled rectangle with an outline (a shape control).
class TShape : public QFrame {
  public:
    TShape(const QColor& fill, const QColor& outline, QWidget* parent)
        : QFrame(parent), FFill(fill), FOutline(outline) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), FFill);
        if (FOutline.isValid()) {
            p.setPen(FOutline);
            p.drawRect(rect().adjusted(0, 0, -1, -1));
        }
    }

  private:
    QColor FFill, FOutline;
};

// The flat white dictionary selector, drawn here: the caption and a small
// arrow. Our fallback font is wider than the layout's, so a caption that
// does not fit ("Италиански <=> Български" in 165 pixels) is drawn a little
// narrower rather than cut. With the focus the caption is shown selected,
// as in a drop-down list.
class TFlatComboBox : public QComboBox {
  public:
    using QComboBox::QComboBox;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().color(QPalette::Base));
        constexpr int kArrowWidth = 7;
        const QRect caption = rect().adjusted(1, 1, -(kArrowWidth + 5), -1);
        if (hasFocus()) p.fillRect(caption, palette().color(QPalette::Highlight));
        p.setPen(palette().color(hasFocus() ? QPalette::HighlightedText : QPalette::Text));
        const QRect text = caption.adjusted(2, 0, 0, 0);
        const int needed = fontMetrics().horizontalAdvance(currentText());
        p.save();
        p.translate(text.topLeft());
        if (needed > text.width()) p.scale(double(text.width()) / needed, 1.0);
        p.drawText(QRect(0, 0, std::max(needed, text.width()), text.height()),
                   Qt::AlignVCenter | Qt::AlignLeft, currentText());
        p.restore();
        const QPoint tip(width() - 3 - kArrowWidth / 2, height() / 2 + 2);
        const QPoint arrow[] = {tip + QPoint(-kArrowWidth / 2, -kArrowWidth / 2),
                                tip + QPoint(kArrowWidth / 2, -kArrowWidth / 2), tip};
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(palette().color(QPalette::Text));
        p.drawPolygon(arrow, 3);
    }
};

// The article view: a double-click selects the word, then the handler runs.
class TArticleBrowser : public QTextBrowser {
  public:
    using QTextBrowser::QTextBrowser;
    std::function<void()> OnDblClick;

  protected:
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        QTextBrowser::mouseDoubleClickEvent(e);
        if (OnDblClick) OnDblClick();
    }
};

QFont PixelFont(const QString& family, int pixels, bool bold = false) {
    QFont font(family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QFont PointFont(const QString& family, int points, bool bold = false) {
    QFont font(family);
    font.setPointSize(points);
    font.setBold(bold);
    return font;
}

// Windows key codes of the keys the entry box handler looks at.
int VirtualKeyOf(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Escape:
            return 27;
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Delete:
            return 46;
        case Qt::Key_Up:
            return 38;
        case Qt::Key_Down:
            return 40;
        case Qt::Key_PageUp:
            return 33;
        case Qt::Key_PageDown:
            return 34;
        case Qt::Key_F1:
            return 112;
        default:
            return qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z ? qtKey : 0;
    }
}

// Names a control after the layout and puts it at its place.
template <class TWidget>
TWidget* Placed(TWidget* widget, const char* name, const QRect& geometry) {
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    return widget;
}

// The family used where the layout asks for "HebarU" or "Arial": the font
// falls back to one that has Cyrillic.
const QString kUiFamily = QStringLiteral("DejaVu Sans");

}  // namespace

struct TQtViews {
    explicit TQtViews(TfDictionary& w)
        : Edit1(w.Edit1),
          lbWords(w.lbWords),
          lWord(w.lWord),
          reDescription(w.reDescription),
          Image2(w.Image2),
          vKeyBoard(w.vKeyBoard),
          MessageBox(&w),
          Window([&w] { w.MinimizeToTray(); }, [&w] { w.RestoreWindow(); }),
          CtrlC1(w.CtrlC1),
          Settings(w.SettingsPath()) {}

    TEntryBoxView Edit1;
    TWordListView lbWords;
    TLabelView lWord;
    TArticleView reDescription;
    TWidgetVisibility Image2;
    TSpecialCharsView vKeyBoard;
    TMessageBoxView MessageBox;
    TClipboardView Clipboard;
    TKeyboardLayout Keyboard;
    TWindowRestorer Window;
    TSoundPlayer Player;
    TCheckItemView CtrlC1;
    TSettingsWriter Settings;
    TLookupLog Log;

    TLookupViews Table() {
        return {&Edit1,     &lbWords,  &lWord,  &reDescription, &Image2, &vKeyBoard, &MessageBox,
                &Clipboard, &Keyboard, &Window, &Player,        &CtrlC1, &Settings,  &Log};
    }
};

TfDictionary::TfDictionary(const QString& exeDir, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName("fDictionary");
    setWindowTitle(kApplicationTitle);
    setWindowIcon(TrayIconPicture());
    setFixedSize(518, 377);
    move(231, 223);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kWindowColor);
    setPalette(pal);
    setAutoFillBackground(true);

    FExeDir = QDir(exeDir).absolutePath().toStdString() + "/";
    BuildLayout();
    BuildMenus();
    FViews = std::make_unique<TQtViews>(*this);
    ConnectHandlers();
    qApp->installEventFilter(this);
    Edit1->setFocus();
    FormCreate();
}

TfDictionary::~TfDictionary() {
    if (qApp) qApp->removeEventFilter(this);
}

void TfDictionary::BuildLayout() {
    Panel1 = Placed(new QWidget(this), "Panel1", QRect(0, 0, 518, 22));
    Image3 = Placed(new QLabel(Panel1), "Image3", QRect(0, 0, 518, 20));
    Image3->setPixmap(TitleStripPicture());
    Image3->installEventFilter(this);
    JvTransparentButton1 = Placed(new TPictureButton(MinimisePicture(), Panel1),
                                  "JvTransparentButton1", QRect(482, 3, 15, 13));
    JvTransparentButton1->setToolTip(QStringLiteral("Минимизиране"));
    JvTransparentButton2 = Placed(new TPictureButton(ClosePicture(), Panel1),
                                  "JvTransparentButton2", QRect(500, 3, 15, 13));
    JvTransparentButton2->setToolTip(QStringLiteral("Изход"));

    Panel2 = Placed(new QWidget(this), "Panel2", QRect(0, 20, 518, 357));
    Image1 = Placed(new QLabel(Panel2), "Image1", QRect(0, 0, 518, 357));
    Image1->setPixmap(BackgroundPicture());
    Shape2 = Placed(new TShape(kWindowColor, QColor(), Panel2), "Shape2", QRect(0, 0, 518, 2));

    Edit1 = Placed(new QLineEdit(Panel2), "Edit1", QRect(27, 24, 130, 15));
    Edit1->setFrame(false);
    Edit1->setFont(PointFont(kUiFamily, 8));
    Edit1->setStyleSheet("QLineEdit { background: white; border: none; padding: 0px; }");

    JvTransparentButton3 =
        Placed(new TPictureButton(1, 2, 3, Panel2), "JvTransparentButton3", QRect(164, 17, 59, 28));

    ComboBox1 = Placed(new TFlatComboBox(Panel2), "ComboBox1", QRect(244, 21, 165, 19));
    ComboBox1->setFont(PixelFont(kUiFamily, 11));
    ComboBox1->setFrame(false);
    QPalette comboPalette = ComboBox1->palette();
    comboPalette.setColor(QPalette::Base, Qt::white);
    comboPalette.setColor(QPalette::Button, Qt::white);
    comboPalette.setColor(QPalette::Highlight, kWindowColor);
    comboPalette.setColor(QPalette::HighlightedText, Qt::black);
    ComboBox1->setPalette(comboPalette);
    for (const auto& info : DictTables)
        ComboBox1->addItem(QString::fromUtf8(info.Caption.data(), qsizetype(info.Caption.size())));

    vKeyBoard =
        Placed(new TPictureButton(201, 202, 203, Panel2), "vKeyBoard", QRect(422, 17, 59, 28));
    vKeyBoard->setToolTip(QStringLiteral("Специални символи"));
    vKeyBoard->hide();

    bHelp = Placed(new TPictureButton(301, 302, 303, Panel2), "bHelp", QRect(486, 14, 21, 32));
    bHelp->setToolTip(QStringLiteral("Помощ"));

    lbWords = Placed(new THintListBox(Panel2), "lbWords", QRect(18, 62, 140, 277));
    lbWords->setFrameShape(QFrame::NoFrame);
    lbWords->setFont(PixelFont(kUiFamily, 12));
    lbWords->FontColor1 = lbWords->FontColor2 = Qt::black;
    lbWords->BgColor1 = lbWords->BgColor2 = Qt::white;
    lbWords->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lbWords->setStyleSheet("QListWidget { background: white; }");

    lWord = Placed(new QLabel(Panel2), "lWord", QRect(194, 68, 255, 25));
    lWord->setFont(PointFont(kUiFamily, 12, true));
    lWord->setAutoFillBackground(true);
    QPalette white = lWord->palette();
    white.setColor(QPalette::Window, Qt::white);
    lWord->setPalette(white);

    Shape1 = Placed(new TShape(kRuleFill, kRuleOutline, Panel2), "Shape1", QRect(192, 96, 302, 4));

    Image2 = Placed(new TPictureButton(SpeakerPicture(), Panel2), "Image2", QRect(460, 64, 32, 32));
    Image2->hide();

    auto* article = new TArticleBrowser(Panel2);
    article->OnDblClick = [this] {
        if (FLookup) FLookup->reDescriptionDblClick();
    };
    reDescription = article;
    reDescription->setObjectName("reDescription");
    reDescription->setGeometry(194, 105, 300, 232);
    reDescription->setReadOnly(true);
    reDescription->setFrameShape(QFrame::NoFrame);
    reDescription->setFont(PointFont(kUiFamily, 8));
    reDescription->setOpenLinks(false);
}

void TfDictionary::BuildMenus() {
    pmDict = new TOwnerDrawnMenu(this);
    pmDict->setObjectName("pmDict");
    N2 = pmDict->AddTextItem("N2", QStringLiteral("Ворлано"));
    CtrlC1 = pmDict->AddClipboardItem("CtrlC1");
    N1 = pmDict->AddTextItem("N1", QStringLiteral("Изход"));

    pmHelp = new TOwnerDrawnMenu(this);
    pmHelp->setObjectName("pmHelp");
    N6 = pmHelp->AddTextItem("N6", QStringLiteral("Помощ"));
    N7 = pmHelp->AddTextItem("N7", QStringLiteral("За нас ..."));
    N8 = pmHelp->AddTextItem("N8", QStringLiteral("За програмата"), 120);

    pmSpecial = new TOwnerDrawnMenu(this);
    pmSpecial->setObjectName("pmSpecial");

    if (TrayAvailable()) {
        TextTrayIcon1 = new QSystemTrayIcon(TrayIconPicture(), this);
        TextTrayIcon1->setToolTip(QStringLiteral("Tamberg Selvane Vorlano"));
        TextTrayIcon1->setContextMenu(pmDict);
        TextTrayIcon1->show();
    }
}

bool TfDictionary::TrayAvailable() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

void TfDictionary::ConnectHandlers() {
    connect(JvTransparentButton1, &QAbstractButton::clicked, this, [this] { MinimizeToTray(); });
    connect(JvTransparentButton2, &QAbstractButton::clicked, this, [this] { close(); });
    connect(N1, &QAction::triggered, this, [this] { close(); });
    connect(N2, &QAction::triggered, this, [this] { RestoreWindow(); });
    connect(CtrlC1, &QAction::triggered, this, [this] {
        if (FLookup) FLookup->CtrlC1Click();
    });
    connect(N6, &QAction::triggered, this, [this] { ShowHelpPage("Help/Index.html"); });
    connect(N7, &QAction::triggered, this, [this] { ShowHelpPage("Help/About.html"); });
    connect(N8, &QAction::triggered, this, [this] { ShowHelpPage("Help/Program.html"); });
    connect(bHelp, &QAbstractButton::clicked, this,
            [this] { pmHelp->popup(bHelp->mapToGlobal(QPoint(0, bHelp->height()))); });
    if (TextTrayIcon1)
        connect(TextTrayIcon1, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason r) {
                    if (r == QSystemTrayIcon::DoubleClick) RestoreWindow();
                });

    connect(JvTransparentButton3, &QAbstractButton::clicked, this, [this] {
        if (FLookup) FLookup->JvTransparentButton3Click();
    });
    connect(ComboBox1, &QComboBox::activated, this, [this](int position) {
        if (FLookup) FLookup->ComboBox1Select(position);
    });
    connect(lbWords, &QListWidget::currentRowChanged, this, [this](int) {
        if (FLookup) FLookup->lbWordsClick();
    });
    connect(Image2, &QAbstractButton::clicked, this, [this] {
        if (FLookup) FLookup->Image2Click();
    });
    connect(vKeyBoard, &TPictureButton::pressedDown, this, [this] {
        if (FLookup) FLookup->vKeyBoardMouseDown();
    });
    connect(vKeyBoard, &QAbstractButton::clicked, this, [this] { ShowSpecialMenu(); });
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this,
            [this] { ClipboardChanged(); });
}

void TfDictionary::FormCreate() {
    setCursor(Qt::ArrowCursor);
    FDataDir = FExeDir + "Dictionary/";
    // A text box that always holds wide characters: letters are inserted as
    // themselves.
    FWideInsert = true;
    const TIniFile settings(SettingsPath());
    FActiveTranslate = settings.ReadBool("SETTINGS", "ActiveTranslate", true);
    if (!settings.WriteBool("SETTINGS", "ActiveTranslate", FActiveTranslate)) {
        TVorlanoApplication::ShowError(
            QString::fromStdString("Unable to write to " + SettingsPath()));
        return;
    }
    TOwnerDrawnMenu::SetTicked(CtrlC1, FActiveTranslate);
    FSourcePath = settings.ReadString("SOURCEPATH", "Path", "");
}

TDataModuleClient& TfDictionary::ConnectData(TDatas& datas) {
    TLookupSettings settings;
    settings.DataDir = FDataDir;
    settings.SourcePath = FSourcePath;
    settings.ActiveTranslate = FActiveTranslate;
    settings.WideInsert = FWideInsert;
    FLookup = std::make_unique<TDictionaryLookup>(datas, FViews->Table(), settings);
    return *FLookup;
}

void TfDictionary::MinimizeToTray() {
    if (TextTrayIcon1) {
        hide();  // only the notification icon stays
    } else {
        showMinimized();
    }
}

void TfDictionary::RestoreWindow() {
    show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
}

void TfDictionary::FormKeyDown(int key) {
    if (key == 112 && FHelp) FHelp->ShowCurrent();
}

void TfDictionary::ShowHelpPage(const QString& relativePath) {
    if (FHelp) FHelp->ShowPage(QString::fromStdString(FExeDir) + relativePath);
}

void TfDictionary::ShowSpecialMenu() {
    if (!FLookup) return;
    const TSpecialMenu menu = FViews->vKeyBoard.Menu();
    if (menu == TSpecialMenu::None) return;
    pmSpecial->clear();
    for (std::size_t tag = 0; tag < SpecialChars.size(); ++tag) {
        if (SpecialChars[tag].Menu != menu) continue;
        QAction* item = pmSpecial->AddPictureItem(QString("sc%1").arg(tag + 1),
                                                  QString(QChar(SpecialChars[tag].Letter)));
        connect(item, &QAction::triggered, this, [this, tag] {
            if (FLookup) FLookup->sc1Click(int(tag));
        });
    }
    pmSpecial->popup(vKeyBoard->mapToGlobal(QPoint(0, vKeyBoard->height())));
}

void TfDictionary::ClipboardChanged() {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (!FLookup || !data || data->hasImage() || !data->hasText()) return;
    const QString text = data->text();
    if (text.isEmpty()) return;
    FLookup->JvClipboardViewer1Text(pirin::TCodePage::Of(1251).Encode(ToU16(text)));
}

bool TfDictionary::eventFilter(QObject* watched, QEvent* event) {
    // Dragging the title strip moves the window.
    if (watched == Image3) {
        // Every event of the strip passes here; only mouse events are read.
        auto* mouse = dynamic_cast<QMouseEvent*>(event);
        if (mouse == nullptr) return false;
        if (event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
            if (windowHandle() && windowHandle()->startSystemMove()) return true;
            FDragging = true;  // no window manager: follow the mouse ourselves
            FDragOffset = mouse->globalPosition().toPoint() - frameGeometry().topLeft();
            return true;
        }
        if (event->type() == QEvent::MouseMove && FDragging) {
            move(mouse->globalPosition().toPoint() - FDragOffset);
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease) FDragging = false;
        return false;
    }
    if (event->type() != QEvent::KeyPress) return false;
    // Once per key: the application filter sees a key again for every parent
    // it propagates to, so only its first receiver counts.
    auto* widget = qobject_cast<QWidget*>(watched);
    QWidget* first = QApplication::focusWidget() ? QApplication::focusWidget() : this;
    if (!widget || widget != first || widget->window() != this) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    FormKeyDown(VirtualKeyOf(key->key()));
    if (watched != Edit1 || !FLookup) return false;
    FLookup->Edit1KeyDown(VirtualKeyOf(key->key()));
    const QString text = key->text();
    if (text.isEmpty() || key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab ||
        key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return false;
    FViews->Keyboard.NoteTypedLetter(text.front());
    return !FLookup->Edit1KeyPress(char16_t(text.front().unicode()));
}

void TfDictionary::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // A system minimise sends the window to the notification area too.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) &&
        TextTrayIcon1)
        QMetaObject::invokeMethod(
            this, [this] { hide(); }, Qt::QueuedConnection);
}

void TfDictionary::closeEvent(QCloseEvent* event) {
    QApplication::clipboard()->clear();
    event->accept();
    if (FHelp) FHelp->close();
    QApplication::quit();
}

}  // namespace vorlano
