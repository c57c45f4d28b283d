#include "app/main_window.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

#include "app/application.h"
#include "app/artwork.h"
#include "app/help_window.h"
#include "app/owner_drawn_menu.h"
#include "app/password_dialog.h"
#include "app/picture_button.h"
#include "app/view_adapters.h"
#include "app/xkb_keyboard.h"
#include "lookup/widgets/hint_list_box.h"
#include "tables/session_list.h"
#include "tests/app/app_test_registry.h"

using vorlano::TfDictionary;
using vorlano::TOwnerDrawnMenu;

namespace {

// An executable folder with a "System" folder, and the errors the central
// handler would show.
struct TExeDir {
    QTemporaryDir dir;
    QStringList errors;
    explicit TExeDir(bool withSystem = true) {
        if (withSystem) QDir(dir.path()).mkdir("System");
        vorlano::TVorlanoApplication::SetErrorSink([this](const QString& text) { errors << text; });
    }
    ~TExeDir() { vorlano::TVorlanoApplication::SetErrorSink(nullptr); }
    QString Settings() const { return dir.filePath("System/path_bg.ini"); }
    QByteArray SettingsText() const {
        QFile f(Settings());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

void SendEvent(QWidget* w, QEvent::Type type) {
    if (type == QEvent::Enter) {
        QEnterEvent e(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(w, &e);
    } else {
        QEvent e(type);
        QApplication::sendEvent(w, &e);
    }
}

}  // namespace

class TMainWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void layout_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("Panel1") << "Panel1" << QRect(0, 0, 518, 22);
        QTest::newRow("Image3") << "Image3" << QRect(0, 0, 518, 20);
        QTest::newRow("minimise") << "JvTransparentButton1" << QRect(482, 3, 15, 13);
        QTest::newRow("close") << "JvTransparentButton2" << QRect(500, 3, 15, 13);
        QTest::newRow("Panel2") << "Panel2" << QRect(0, 20, 518, 357);
        QTest::newRow("Image1") << "Image1" << QRect(0, 0, 518, 357);
        QTest::newRow("Shape2") << "Shape2" << QRect(0, 0, 518, 2);
        QTest::newRow("Edit1") << "Edit1" << QRect(27, 24, 130, 15);
        QTest::newRow("search") << "JvTransparentButton3" << QRect(164, 17, 59, 28);
        QTest::newRow("ComboBox1") << "ComboBox1" << QRect(244, 21, 165, 19);
        QTest::newRow("vKeyBoard") << "vKeyBoard" << QRect(422, 17, 59, 28);
        QTest::newRow("bHelp") << "bHelp" << QRect(486, 14, 21, 32);
        QTest::newRow("lbWords") << "lbWords" << QRect(18, 62, 140, 277);
        QTest::newRow("lWord") << "lWord" << QRect(194, 68, 255, 25);
        QTest::newRow("Shape1") << "Shape1" << QRect(192, 96, 302, 4);
        QTest::newRow("Image2") << "Image2" << QRect(460, 64, 32, 32);
        QTest::newRow("reDescription") << "reDescription" << QRect(194, 105, 300, 232);
    }
    void layout() {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        TExeDir exe;
        TfDictionary window(exe.dir.path());
        auto* control = window.findChild<QWidget*>(name);
        QVERIFY2(control, qPrintable(name));
        QCOMPARE(control->geometry(), geometry);
    }

    void windowChrome() {
        TExeDir exe;
        TfDictionary window(exe.dir.path());
        QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(window.size(), QSize(518, 377));
        QCOMPARE(window.pos(), QPoint(231, 223));
        QCOMPARE(window.palette().color(QPalette::Window), QColor(239, 216, 191));
        QCOMPARE(window.windowTitle(), QString("Речник"));
        QVERIFY(window.vKeyBoard->isHidden());
        QCOMPARE(window.JvTransparentButton1->toolTip(), QString("Минимизиране"));
        QCOMPARE(window.JvTransparentButton2->toolTip(), QString("Изход"));
        QCOMPARE(window.vKeyBoard->toolTip(), QString("Специални символи"));
        QCOMPARE(window.bHelp->toolTip(), QString("Помощ"));
        QCOMPARE(window.lbWords->ItemHeight(), 16);
        QVERIFY(window.reDescription->isReadOnly());
        QCOMPARE(window.ComboBox1->count(), 7);
        // The rule under the headword: fill and outline.
        const QImage rule = window.Shape1->grab().toImage();
        QCOMPARE(rule.pixelColor(0, 0), QColor(253, 241, 219));
        QCOMPARE(rule.pixelColor(10, 1), QColor(239, 191, 139));
    }

    void pictureSizes() {
        for (int n : {1, 2, 3, 201, 202, 203})
            QCOMPARE(vorlano::ButtonPicture(n).size(), QSize(59, 28));
        for (int n : {301, 302, 303}) QCOMPARE(vorlano::ButtonPicture(n).size(), QSize(21, 32));
        QCOMPARE(vorlano::TitleStripPicture().size(), QSize(518, 20));
        QCOMPARE(vorlano::BackgroundPicture().size(), QSize(518, 357));
        QCOMPARE(vorlano::SpeakerPicture().size(), QSize(32, 32));
        QCOMPARE(vorlano::LetterPicture("ä", false).size(), QSize(10, 22));
        // The three states differ.
        QVERIFY(vorlano::ButtonPicture(1).toImage() != vorlano::ButtonPicture(2).toImage());
        QVERIFY(vorlano::ButtonPicture(2).toImage() != vorlano::ButtonPicture(3).toImage());
    }

    void pictureSwaps_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("base");
        QTest::newRow("search") << "JvTransparentButton3" << 1;
        QTest::newRow("special") << "vKeyBoard" << 201;
        QTest::newRow("help") << "bHelp" << 301;
    }
    void pictureSwaps() {
        QFETCH(QString, name);
        QFETCH(int, base);
        TExeDir exe;
        TfDictionary window(exe.dir.path());
        auto* button = window.findChild<vorlano::TPictureButton*>(name);
        button->show();
        QCOMPARE(button->PictureNumber(), base);
        SendEvent(button, QEvent::Enter);
        QCOMPARE(button->PictureNumber(), base + 1);
        QTest::mousePress(button, Qt::LeftButton);
        QCOMPARE(button->PictureNumber(), base + 2);
        QTest::mouseRelease(button, Qt::LeftButton);
        QCOMPARE(button->PictureNumber(), base + 1);
        SendEvent(button, QEvent::Leave);
        QCOMPARE(button->PictureNumber(), base);
        window.pmHelp->hide();
    }

    void menus() {
        TExeDir exe;
        TfDictionary window(exe.dir.path());
        const auto captions = [](QMenu* menu) {
            QStringList list;
            for (QAction* a : menu->actions()) list << TOwnerDrawnMenu::DrawnCaption(a);
            return list;
        };
        QCOMPARE(captions(window.pmDict),
                 QStringList({"Ворлано", "Ctrl + C  деактивирай", "Изход"}));
        QCOMPARE(captions(window.pmHelp), QStringList({"Помощ", "За нас ...", "За програмата"}));
        TOwnerDrawnMenu::SetTicked(window.CtrlC1, false);
        QCOMPARE(TOwnerDrawnMenu::DrawnCaption(window.CtrlC1), QString("Ctrl + C  активирай"));
        // N8 asks for 120 pixels, wider than its caption needs.
        window.pmHelp->ensurePolished();
        QCOMPARE(window.pmHelp->actionGeometry(window.N8).width() >= 120, true);
        QVERIFY(window.pmHelp->sizeHint().width() >= 120);
    }

    void menuItemDrawing() {
        QImage image(120, 20, QImage::Format_RGB32);
        for (bool selected : {false, true}) {
            image.fill(Qt::red);
            QPainter p(&image);
            vorlano::DrawTextMenuItem(p, QRect(0, 0, 120, 20), "Изход", selected, false);
            p.end();
            QCOMPARE(image.pixelColor(110, 18),
                     selected ? QColor(239, 216, 191) : QColor(Qt::white));
            // The caption starts 7 pixels in: nothing dark left of it.
            for (int x = 0; x < 7; ++x)
                for (int y = 0; y < 20; ++y) QVERIFY(image.pixelColor(x, y).lightness() > 150);
        }
        image.fill(Qt::red);
        QPainter p(&image);
        vorlano::DrawTextMenuItem(p, QRect(0, 0, 120, 20), "x", true, true);
        p.end();
        QCOMPARE(image.pixelColor(0, 10), QColor(Qt::white));  // outline
    }

    void settingsFirstStart() {
        TExeDir exe;
        TfDictionary window(exe.dir.path());
        QVERIFY(window.ActiveTranslate());
        QVERIFY(TOwnerDrawnMenu::Ticked(window.CtrlC1));
        QCOMPARE(exe.SettingsText(), QByteArray("[SETTINGS]\r\nActiveTranslate=1\r\n"));
        QCOMPARE(window.SourcePath(), std::string());
        QCOMPARE(window.DataDir(), window.ExeDir() + "Dictionary/");
        QVERIFY(exe.errors.isEmpty());
    }

    void settingsValues_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("active");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("off") << QByteArray("[SETTINGS]\nActiveTranslate=0\n") << false
                             << QByteArray("ActiveTranslate=0");
        QTest::newRow("abc") << QByteArray("[SETTINGS]\nActiveTranslate=abc\n") << true
                             << QByteArray("ActiveTranslate=1");
        QTest::newRow("hex") << QByteArray("[settings]\nactivetranslate=0x0\n") << false
                             << QByteArray("ActiveTranslate=0");
    }
    void settingsValues() {
        QFETCH(QByteArray, file);
        QFETCH(bool, active);
        QFETCH(QByteArray, written);
        TExeDir exe;
        QFile f(exe.Settings());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file + "[SOURCEPATH]\nPath=/sounds\n");
        f.close();
        TfDictionary window(exe.dir.path());
        QCOMPARE(window.ActiveTranslate(), active);
        QCOMPARE(TOwnerDrawnMenu::Ticked(window.CtrlC1), active);
        QVERIFY(exe.SettingsText().contains(written));
        QCOMPARE(window.SourcePath(), std::string("/sounds"));
    }

    void settingsUnwritable() {
        TExeDir exe(false);  // no "System" folder
        TfDictionary window(exe.dir.path());
        QCOMPARE(exe.errors, QStringList({"Unable to write to " +
                                          QString::fromStdString(window.SettingsPath())}));
        QVERIFY(!TOwnerDrawnMenu::Ticked(window.CtrlC1));
        QVERIFY(window.ActiveTranslate());
        QCOMPARE(window.SourcePath(), std::string());
    }

    void helpWindowPlacement() {
        TExeDir exe;
        QDir(exe.dir.path()).mkpath("Help");
        QFile page(exe.dir.filePath("Help/About.html"));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<html><body><p>about us</p></body></html>");
        page.close();
        TfDictionary window(exe.dir.path());
        vorlano::TfHelp help(&window);
        window.SetHelpWindow(&help);
        window.move(40, 50);
        window.show();
        // F1 with no page ever requested shows it empty.
        window.FormKeyDown(112);
        QVERIFY(help.isVisible());
        QVERIFY(help.webHelp()->toPlainText().isEmpty());
        QCOMPARE(help.windowTitle(), QString("Помощ"));
        QCOMPARE(help.pos(), window.frameGeometry().topLeft());
        QCOMPARE(help.size(), QSize(526, 382));
        // Visible: moving it away and asking for a page keeps its place.
        help.move(300, 300);
        help.resize(600, 400);
        window.N7->trigger();
        QCOMPARE(help.pos(), QPoint(300, 300));
        QVERIFY(help.webHelp()->toPlainText().contains("about us"));
        // Shown again after closing: back over the main window, at its size.
        help.close();
        window.move(10, 20);
        window.N7->trigger();
        QCOMPARE(help.pos(), QPoint(10, 20));
        QCOMPARE(help.size(), QSize(526, 382));
    }

    void singleByteViewsFollowTheCharSet() {
        vorlano::THintListBox list;
        QLabel label;
        vorlano::TWordListView words(&list);
        vorlano::TLabelView caption(&label);
        words.SetItems({"h\xe4user", "x"});
        words.SetItemIndex(1);
        caption.SetCaption("h\xe4user");
        QCOMPARE(list.item(0)->text(), QString("hдuser"));
        QCOMPARE(label.text(), QString("hдuser"));
        // The same bytes, shown again in the Western set; the selection stays.
        words.SetCharSet(vorlano::TCharSet::Western);
        caption.SetCharSet(vorlano::TCharSet::Western);
        QCOMPARE(list.item(0)->text(), QString("häuser"));
        QCOMPARE(label.text(), QString("häuser"));
        QCOMPARE(words.ItemIndex(), 1);
    }

    // Offscreen there is no XKB group to ask: the last letter typed decides,
    // and keys that are no letters leave the answer as it was.
    void keyboardFallsBackToTheLastLetterTyped() {
        QVERIFY(!vorlano::ActiveKeyboardGroupName());
        vorlano::TKeyboardLayout keyboard;
        QVERIFY(keyboard.IsBulgarianKeyboard());  // before any key
        keyboard.NoteTypedLetter(QChar(u'h'));
        QVERIFY(!keyboard.IsBulgarianKeyboard());
        keyboard.NoteTypedLetter(QChar(u'5'));
        QVERIFY(!keyboard.IsBulgarianKeyboard());
        keyboard.NoteTypedLetter(QChar(u'ж'));
        QVERIFY(keyboard.IsBulgarianKeyboard());
    }

    void passwordDialogEnabling() {
        vorlano::TPirinPasswordDialog dialog(pirin::Session());
        QCOMPARE(dialog.windowTitle(), QString("Enter password"));
        QCOMPARE(dialog.Edit()->echoMode(), QLineEdit::Password);
        QVERIFY(!dialog.AddButton()->isEnabled());
        QVERIFY(!dialog.RemoveButton()->isEnabled());
        QVERIFY(!dialog.OKButton()->isEnabled());
        QVERIFY(dialog.OKButton()->isDefault());
        dialog.Edit()->setText("secret");
        QVERIFY(dialog.AddButton()->isEnabled());
        QVERIFY(dialog.RemoveButton()->isEnabled());
        QVERIFY(dialog.OKButton()->isEnabled());
        dialog.AddButton()->click();  // adds, clears the edit
        QVERIFY(dialog.Edit()->text().isEmpty());
        QVERIFY(!dialog.AddButton()->isEnabled());
        QVERIFY(dialog.OKButton()->isEnabled());  // a password was added
        dialog.RemoveAllButton()->click();
    }
};

VORLANO_REGISTER_TEST(TMainWindowTest)
#include "main_window_test.moc"
