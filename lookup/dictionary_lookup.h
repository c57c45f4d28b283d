// TDictionaryLookup: the main window's dictionary logic without any window
// system. It holds the lookup state (mode, previous mode, list script,
// current table pair, sound folder, clipboard flags) and every handler of
// the catalogue, word entry, entry display, clipboard translation, special
// characters and pronunciation, working on the data module's tables and on
// the views of lookup_views.h.
//
// Handlers are named after their control and event, as the window calls
// them: the Qt window forwards its signals here; vorlano-cli and the tests
// call them directly. Text of the entry box and the clipboard is UTF-16;
// keys, headwords and word-list items are single-byte (search_key.h).
//
// Ownership: the caller owns the lookup, the data module and the views, all
// of which must outlive the lookup. Threads: the GUI thread. Failures: a
// handler does not catch; table-layer errors end it where they occur, with
// the state changed so far kept (the window's central handler shows them).
// Only sound playback swallows its errors.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "dictdata/datas.h"
#include "lookup/dictionary_catalogue.h"
#include "lookup/lookup_views.h"
#include "lookup/word_list.h"

namespace vorlano {

// The settings and folders the window hands over at start-up.
struct TLookupSettings {
    std::string DataDir;     // FDataDir: the folder of the tables, ending in "/"
    std::string SourcePath;  // FSourcePath: SOURCEPATH/Path
    bool ActiveTranslate = true;
    bool WideInsert = true;  // the entry box holds wide characters
};

// The message shown when a Latin letter is typed into a Bulgarian-only
// dictionary.
inline constexpr char kCyrillicOnlyMessage[] = "Моля преминете в режим кирилица!";

class TDictionaryLookup : public TDataModuleClient {
  public:
    TDictionaryLookup(TDatas& datas, const TLookupViews& views, TLookupSettings settings);

    // ---- start-up (the data module calls back) ----
    std::string DataDir() const override { return FDataDir; }
    void InitLookupState() override;
    void SelectStartDictionary() override;
    void ShowFirstEntry() override;

    // ---- catalogue and switching ----
    void ComboBox1Select(int position);
    void SelectDictionary(const TTablePair& pair, std::string_view soundFolder);
    void OpenTables(const TTablePair& pair);
    void FillWordList();
    bool IsMonolingual() const;

    // ---- word entry and list search ----
    std::string GetSearchKey();
    void SearchWord(std::string key);
    bool DetectDirection(std::string_view key, TLookupMode& mode) const;
    bool LooksCyrillic(std::string_view text) const;
    bool ScriptDiffersFromList(std::string_view text) const;
    // A character typed into the entry box; false swallows it (the box
    // inserts it otherwise).
    bool Edit1KeyPress(char16_t character);
    void Edit1KeyDown(int keyCode);
    void JvTransparentButton3Click();
    void lbWordsClick();

    // ---- entry display ----
    void ShowEntry(const std::string& headword);
    void reDescriptionDblClick();

    // ---- clipboard ----
    // `text`: the clipboard's text in single-byte form (Windows-1251).
    void JvClipboardViewer1Text(const std::string& text);
    void CtrlC1Click();

    // ---- special characters ----
    // The button was pressed: chooses its drop-down menu.
    void vKeyBoardMouseDown();
    // A letter of the special-characters menus, by its tag (0 to 20).
    void sc1Click(int tag);

    // ---- pronunciation ----
    void UpdateSpeaker();
    void Image2Click();
    // The sound file of the selected word-list item.
    std::string SoundFile() const;

    // ---- state ----
    TLookupMode Mode() const noexcept { return FMode; }
    void SetMode(TLookupMode mode) noexcept { FMode = mode; }
    TLookupMode PrevMode() const noexcept { return FPrevMode; }
    bool CyrillicList() const noexcept { return FCyrillicList; }
    const std::string& BgTable() const noexcept { return FBgTable; }
    const std::string& ForTable() const noexcept { return FForTable; }
    const std::string& SoundDir() const noexcept { return FSoundDir; }
    bool ActiveTranslate() const noexcept { return FActiveTranslate; }
    bool MinimizeFirst() const noexcept { return FMinimizeFirst; }
    const TWordList& Words() const noexcept { return FWords; }
    // The table ShowEntry works on in the current mode.
    pirin::TPirinTable& CurrentTable() const;

  private:
    // The entry fields of tBG or tFor, found by name at the first entry
    // shown after each open of the table (a keystroke shows an entry).
    struct TEntryFields {
        const pirin::TPirinTable* Table = nullptr;
        std::uint64_t Generation = 0;
        pirin::TField* Word = nullptr;
        pirin::TField* Desc = nullptr;
    };
    enum class TEntryField : std::uint8_t { Word, Desc };
    pirin::TField& EntryField(pirin::TPirinTable& table, TEntryField which);

    void SetDisplayCharSet(TCharSet charSet);
    void SelectItem(int index);
    void LoadCurrentEntry(pirin::TPirinTable& table, bool setCaption);
    void Log(const std::string& line) const;
    // Whether a log listens: a line nobody reads is not put together.
    bool Logging() const noexcept;

    TDatas& FDatas;
    TLookupViews FViews;
    std::string FDataDir;
    std::string FSourcePath;
    bool FActiveTranslate;
    bool FWideInsert;
    bool FMinimizeFirst = true;

    TLookupMode FMode = TLookupMode::lmExplanatory;
    TLookupMode FPrevMode = TLookupMode::lmExplanatory;
    bool FCyrillicList = true;
    std::string FSoundDir;
    std::string FBgTable;
    std::string FForTable;
    TWordList FWords;
    std::array<TEntryFields, 2> FEntryFields;
};

}  // namespace vorlano
