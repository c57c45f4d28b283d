// TfDictionary: the main window. A borderless 518 x 377 window in the
// window colour, first at (231, 223): a title strip that drags it, minimise
// (to the tray) and close buttons, the background frame with the entry box,
// search button, dictionary selector, special-characters button (hidden
// until a dictionary shows it), help button with its menu, word list,
// headword, speaker and article. It owns the tray icon with its menu, the
// help menu and the Qt realisations of the dictionary logic's views, and
// forwards every user action to the logic (TDictionaryLookup).
//
// Start-up (FormCreate): folders under the executable's folder, the
// settings file "System/path_bg.ini" (ActiveTranslate read, written back,
// the tray's clipboard item ticked, SOURCEPATH/Path read); a failed
// write-back shows "Unable to write to <path>" and skips the rest.
// Closing empties the clipboard and ends the program.
//
// Ownership: top-level, made by main(); owns its children, the tray icon,
// the menus, the views and the logic. Threads: GUI thread.
// Failures: handler errors go to the application's central handler.
#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>
#include <memory>
#include <string>

#include "lookup/lookup_views.h"

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QSystemTrayIcon;
class QTextBrowser;

namespace vorlano {

class TDatas;
class TDataModuleClient;
class TDictionaryLookup;
class TfHelp;
class THintListBox;
class TOwnerDrawnMenu;
class TPictureButton;
struct TQtViews;

class TfDictionary : public QWidget {
    Q_OBJECT
  public:
    // `exeDir`: the executable's folder (FExeDir is it with a trailing "/").
    explicit TfDictionary(const QString& exeDir, QWidget* parent = nullptr);
    ~TfDictionary() override;

    // ---- start-up state ----
    const std::string& ExeDir() const noexcept { return FExeDir; }
    const std::string& DataDir() const noexcept { return FDataDir; }
    const std::string& SourcePath() const noexcept { return FSourcePath; }
    bool ActiveTranslate() const noexcept { return FActiveTranslate; }
    bool WideInsert() const noexcept { return FWideInsert; }
    std::string SettingsPath() const { return FExeDir + "System/path_bg.ini"; }

    // Makes the dictionary logic on the data module; the logic is the data
    // module's client for its start-up.
    TDataModuleClient& ConnectData(TDatas& datas);
    TDictionaryLookup* Lookup() const noexcept { return FLookup.get(); }
    void SetHelpWindow(TfHelp* help) noexcept { FHelp = help; }

    // ---- actions ----
    void MinimizeToTray();
    // Shows the task-bar entry and restores the window to the front.
    void RestoreWindow();
    void FormKeyDown(int key);
    void ShowHelpPage(const QString& relativePath);

    // ---- controls (by their layout names) ----
    QWidget* Panel1;
    QLabel* Image3;
    TPictureButton* JvTransparentButton1;
    TPictureButton* JvTransparentButton2;
    QWidget* Panel2;
    QLabel* Image1;
    QFrame* Shape2;
    QLineEdit* Edit1;
    TPictureButton* JvTransparentButton3;
    QComboBox* ComboBox1;
    TPictureButton* vKeyBoard;
    TPictureButton* bHelp;
    THintListBox* lbWords;
    QLabel* lWord;
    QFrame* Shape1;
    TPictureButton* Image2;
    QTextBrowser* reDescription;
    QSystemTrayIcon* TextTrayIcon1 = nullptr;
    TOwnerDrawnMenu* pmDict;
    TOwnerDrawnMenu* pmHelp;
    TOwnerDrawnMenu* pmSpecial;
    QAction* N2;
    QAction* CtrlC1;
    QAction* N1;
    QAction* N6;
    QAction* N7;
    QAction* N8;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent*) override;
    void changeEvent(QEvent*) override;

  private:
    void BuildLayout();
    void BuildMenus();
    void FormCreate();
    void ConnectHandlers();
    void ShowSpecialMenu();
    void ClipboardChanged();
    bool TrayAvailable() const;

    std::string FExeDir;
    std::string FDataDir;
    std::string FSourcePath;
    bool FActiveTranslate = true;
    bool FWideInsert = true;
    bool FDragging = false;
    QPoint FDragOffset;
    TfHelp* FHelp = nullptr;
    std::unique_ptr<TQtViews> FViews;
    std::unique_ptr<TDictionaryLookup> FLookup;
};

}  // namespace vorlano
