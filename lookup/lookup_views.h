// What the dictionary logic (TDictionaryLookup) needs from the window system:
// one small interface per control or desktop service of the main window.
// The Qt program realises them with widgets; vorlano-cli and the tests
// realise them in memory.
//
// Text forms: the entry box and the clipboard hold wide characters
// (UTF-16); the word list, the headword label and the article hold the
// single-byte bytes of the tables (Windows-1251 for Bulgarian, Windows-1252
// for the foreign languages), shown with the character set given by
// SetCharSet. Messages and log lines are UTF-8.
//
// Ownership: the realisations belong to the window (or the caller); the
// logic keeps plain pointers to them for its own lifetime. Threads: the GUI
// thread only. Failures: a realisation may throw; the handler that called it
// ends with that exception, as every handler failure does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vorlano {

// Which table is searched and which word list is shown.
enum class TLookupMode : std::uint8_t {
    lmBgToForeign = 0,
    lmForeignToBg = 1,
    lmExplanatory = 2,
    lmForeignWords = 3,
};

// The display character set of the single-byte controls.
enum class TCharSet : std::uint8_t { Western = 0, Cyrillic = 204 };

// The drop-down menu of the special-characters button.
enum class TSpecialMenu : std::uint8_t { None, German, Spanish, French };

// The entry box (Edit1): wide text with a selection and a caret.
class IEntryBox {
  public:
    virtual ~IEntryBox() = default;
    virtual std::u16string Text() const = 0;
    virtual void SetText(const std::u16string& text) = 0;
    // The selection starts at the first character and covers the whole text.
    virtual bool WholeTextSelected() const = 0;
    virtual void SelectAll() = 0;
    virtual void SetCaretToEnd() = 0;
    // The box's own paste: replaces the selection with the clipboard's text.
    virtual void PasteFromClipboard() = 0;
    virtual void SetCharSet(TCharSet charSet) = 0;
};

// The word list (lbWords). The logic keeps the items (and searches them);
// the view shows them and owns the selection the user changes.
class IWordListView {
  public:
    virtual ~IWordListView() = default;
    virtual void SetItems(const std::vector<std::string>& items) = 0;
    // -1 when nothing is selected.
    virtual int ItemIndex() const = 0;
    virtual void SetItemIndex(int index) = 0;
    virtual void SetCharSet(TCharSet charSet) = 0;
};

// The headword label (lWord).
class ILabelView {
  public:
    virtual ~ILabelView() = default;
    virtual void SetCaption(const std::string& bytes) = 0;
    virtual void SetCharSet(TCharSet charSet) = 0;
};

// The article view (reDescription).
class IArticleView {
  public:
    virtual ~IArticleView() = default;
    // The article as stored: RTF or plain text (ArticleToHtml renders both).
    virtual void LoadArticle(const std::string& bytes) = 0;
    // The text the user selected (a double-click selects the word under the
    // pointer); empty when nothing is selected.
    virtual std::u16string SelectedText() const = 0;
};

// A control that can be shown or hidden (the speaker picture Image2).
class IVisibleControl {
  public:
    virtual ~IVisibleControl() = default;
    virtual void SetVisible(bool visible) = 0;
    virtual bool Visible() const = 0;
};

// The special-characters button (vKeyBoard) and its drop-down menu.
class ISpecialCharsButton : public IVisibleControl {
  public:
    virtual void SetMenu(TSpecialMenu menu) = 0;
    virtual TSpecialMenu Menu() const = 0;
};

// A plain message box titled "Речник" with one OK button.
class IMessageBox {
  public:
    virtual ~IMessageBox() = default;
    virtual void Show(const std::string& utf8Text) = 0;
};

// The system clipboard (writing only; changes reach the logic through
// TDictionaryLookup::JvClipboardViewer1Text).
class IClipboard {
  public:
    virtual ~IClipboard() = default;
    virtual void SetText(const std::u16string& text) = 0;
};

// The active keyboard layout of the GUI thread.
class IKeyboardLayout {
  public:
    virtual ~IKeyboardLayout() = default;
    virtual bool IsBulgarianKeyboard() const = 0;
};

// The application's minimise and restore (bringing the window forward).
class IWindowRestorer {
  public:
    virtual ~IWindowRestorer() = default;
    virtual void Minimize() = 0;
    // Shows the task-bar window and restores the main window to the front.
    virtual void ShowAndRestore() = 0;
};

// One player for all pronunciations.
class ISoundPlayer {
  public:
    virtual ~ISoundPlayer() = default;
    // Stops a sound that is still playing.
    virtual void Close() = 0;
    // Opens and starts playing; returns at once. May throw: the caller
    // swallows every playback failure.
    virtual void Play(const std::string& path) = 0;
};

// The tray menu item CtrlC1 (ticked while clipboard translation is on).
class ICheckItem {
  public:
    virtual ~ICheckItem() = default;
    virtual bool Checked() const = 0;
    virtual void SetChecked(bool checked) = 0;
};

// Writes SETTINGS/ActiveTranslate ("1" or "0") to the settings file; throws
// (with "Unable to write to <path>") when the file cannot be written.
class ISettingsWriter {
  public:
    virtual ~ISettingsWriter() = default;
    virtual void WriteActiveTranslate(bool on) = 0;
};

// The lookup log ("show-entry ...", "switch ...", "clipboard ...").
class ILookupLog {
  public:
    virtual ~ILookupLog() = default;
    virtual void Write(const std::string& utf8Line) = 0;
};

// Everything the logic talks to. All but `log` must be set.
struct TLookupViews {
    IEntryBox* Edit1 = nullptr;
    IWordListView* lbWords = nullptr;
    ILabelView* lWord = nullptr;
    IArticleView* reDescription = nullptr;
    IVisibleControl* Image2 = nullptr;
    ISpecialCharsButton* vKeyBoard = nullptr;
    IMessageBox* MessageBox = nullptr;
    IClipboard* Clipboard = nullptr;
    IKeyboardLayout* Keyboard = nullptr;
    IWindowRestorer* Window = nullptr;
    ISoundPlayer* Player = nullptr;
    ICheckItem* CtrlC1 = nullptr;
    ISettingsWriter* Settings = nullptr;
    ILookupLog* Log = nullptr;
};

}  // namespace vorlano
