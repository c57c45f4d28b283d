// In-memory realisations of the lookup views: each control keeps what the
// logic gave it, so that a console program or a test can drive the logic
// and read the result. The clipboard hands a new text straight to the
// lookup's clipboard handler when one is attached, as the desktop's
// clipboard notification would.
//
// Ownership: TMemoryViews owns its controls; Views() points at them.
// Threads: one thread. Failures: the settings writer throws when told to.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "lookup/lookup_views.h"

namespace vorlano {

class TMemoryEntryBox : public IEntryBox {
  public:
    std::u16string Text() const override { return FText; }
    void SetText(const std::u16string& text) override {
        FText = text;
        FSelectedAll = false;
    }
    bool WholeTextSelected() const override { return FSelectedAll && !FText.empty(); }
    void SelectAll() override { FSelectedAll = true; }
    void SetCaretToEnd() override { FSelectedAll = false; }
    void PasteFromClipboard() override;
    void SetCharSet(TCharSet charSet) override { CharSet = charSet; }
    // Types a character as the box would insert it (replacing a whole
    // selection).
    void Insert(char16_t character);

    std::u16string* ClipboardText = nullptr;
    TCharSet CharSet = TCharSet::Cyrillic;

  private:
    std::u16string FText;
    bool FSelectedAll = false;
};

class TMemoryWordList : public IWordListView {
  public:
    void SetItems(const std::vector<std::string>& items) override {
        Items = items;
        FIndex = -1;
    }
    int ItemIndex() const override { return FIndex; }
    void SetItemIndex(int index) override { FIndex = index; }
    void SetCharSet(TCharSet charSet) override { CharSet = charSet; }
    std::vector<std::string> Items;
    TCharSet CharSet = TCharSet::Cyrillic;

  private:
    int FIndex = -1;
};

class TMemoryLabel : public ILabelView {
  public:
    void SetCaption(const std::string& bytes) override { Caption = bytes; }
    void SetCharSet(TCharSet charSet) override { CharSet = charSet; }
    std::string Caption;
    TCharSet CharSet = TCharSet::Cyrillic;
};

class TMemoryArticle : public IArticleView {
  public:
    void LoadArticle(const std::string& bytes) override { Article = bytes; }
    std::u16string SelectedText() const override { return Selection; }
    std::string Article;
    std::u16string Selection;
};

class TMemoryControl : public ISpecialCharsButton {
  public:
    void SetVisible(bool visible) override { FVisible = visible; }
    bool Visible() const override { return FVisible; }
    void SetMenu(TSpecialMenu menu) override { FMenu = menu; }
    TSpecialMenu Menu() const override { return FMenu; }

  private:
    bool FVisible = false;
    TSpecialMenu FMenu = TSpecialMenu::None;
};

class TMemoryMessageBox : public IMessageBox {
  public:
    void Show(const std::string& utf8Text) override { Messages.push_back(utf8Text); }
    std::vector<std::string> Messages;
};

class TMemoryClipboard : public IClipboard {
  public:
    void SetText(const std::u16string& text) override;
    std::u16string Text;
    // Called with the single-byte form of every new text.
    std::function<void(const std::string&)> OnChange;
};

class TMemoryKeyboard : public IKeyboardLayout {
  public:
    bool IsBulgarianKeyboard() const override { return Bulgarian; }
    bool Bulgarian = true;
};

// Records the calls: "minimize", "restore", "close", "play <path>".
class TMemoryDesktop : public IWindowRestorer, public ISoundPlayer {
  public:
    void Minimize() override { Calls.push_back("minimize"); }
    void ShowAndRestore() override { Calls.push_back("restore"); }
    void Close() override { Calls.push_back("close"); }
    void Play(const std::string& path) override;
    std::vector<std::string> Calls;
    bool FailPlay = false;
};

class TMemoryCheckItem : public ICheckItem {
  public:
    bool Checked() const override { return FChecked; }
    void SetChecked(bool checked) override { FChecked = checked; }

  private:
    bool FChecked = true;
};

class TMemorySettings : public ISettingsWriter {
  public:
    void WriteActiveTranslate(bool on) override;
    std::vector<std::string> Writes;  // "1" or "0", one per write
    bool Fail = false;
};

class TMemoryLog : public ILookupLog {
  public:
    void Write(const std::string& utf8Line) override { Lines.push_back(utf8Line); }
    std::vector<std::string> Lines;
};

struct TMemoryViews {
    TMemoryViews() { Edit1.ClipboardText = &Clipboard.Text; }
    TMemoryViews(const TMemoryViews&) = delete;
    TMemoryViews& operator=(const TMemoryViews&) = delete;

    TLookupViews Views() {
        return {&Edit1, &lbWords, &lWord, &reDescription, &Image2, &vKeyBoard, &MessageBox, &Clipboard,
                &Keyboard, &Desktop, &Desktop, &CtrlC1, &Settings, &Log};
    }

    TMemoryEntryBox Edit1;
    TMemoryWordList lbWords;
    TMemoryLabel lWord;
    TMemoryArticle reDescription;
    TMemoryControl Image2;
    TMemoryControl vKeyBoard;
    TMemoryMessageBox MessageBox;
    TMemoryClipboard Clipboard;
    TMemoryKeyboard Keyboard;
    TMemoryDesktop Desktop;
    TMemoryCheckItem CtrlC1;
    TMemorySettings Settings;
    TMemoryLog Log;
};

}  // namespace vorlano
