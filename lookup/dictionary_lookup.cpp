#include "lookup/dictionary_lookup.h"

#include <sys/stat.h>

#include "lookup/search_key.h"

namespace vorlano {

namespace {

constexpr char16_t kBackspace = 8, kEnter = 13, kEscape = 27, kUnitSeparator = 31;
constexpr int kEnterKeyCode = 13;

bool IsBilingualMode(TLookupMode mode) {
    return mode == TLookupMode::lmBgToForeign || mode == TLookupMode::lmForeignToBg;
}

bool IsBulgarianOnlyMode(TLookupMode mode) {
    return mode == TLookupMode::lmExplanatory || mode == TLookupMode::lmForeignWords;
}

const char* ModeName(TLookupMode mode) {
    switch (mode) {
        case TLookupMode::lmBgToForeign: return "lmBgToForeign";
        case TLookupMode::lmForeignToBg: return "lmForeignToBg";
        case TLookupMode::lmExplanatory: return "lmExplanatory";
        case TLookupMode::lmForeignWords: return "lmForeignWords";
    }
    return "?";
}

// Blanks and control characters, as the first-letter tests skip them.
std::string_view TrimControls(std::string_view text) {
    while (!text.empty() && static_cast<std::uint8_t>(text.front()) <= 0x20) text.remove_prefix(1);
    while (!text.empty() && static_cast<std::uint8_t>(text.back()) <= 0x20) text.remove_suffix(1);
    return text;
}

// The entry box starts with a Cyrillic letter (А to я) after any blanks.
bool StartsCyrillic(std::u16string_view text) {
    for (char16_t c : text) {
        if (c == u' ' || c < 0x20) continue;
        return c >= u'А' && c <= u'я';
    }
    return false;
}

}  // namespace

TDictionaryLookup::TDictionaryLookup(TDatas& datas, const TLookupViews& views, TLookupSettings settings)
    : FDatas(datas),
      FViews(views),
      FDataDir(std::move(settings.DataDir)),
      FSourcePath(std::move(settings.SourcePath)),
      FActiveTranslate(settings.ActiveTranslate),
      FWideInsert(settings.WideInsert) {}

// ---------------------------------------------------------------- start-up

void TDictionaryLookup::InitLookupState() {
    FMode = TLookupMode::lmExplanatory;
    FPrevMode = TLookupMode::lmExplanatory;
    FCyrillicList = true;
    FSoundDir = FDataDir;
}

void TDictionaryLookup::SelectStartDictionary() { SelectDictionary(DictTables[0].Tables, ""); }

void TDictionaryLookup::ShowFirstEntry() {
    if (FWords.Count() == 0) pirin::DatabaseError("List index out of bounds (0)");
    FViews.lbWords->SetItemIndex(0);
    lbWordsClick();
}

// ---------------------------------------------------------------- catalogue

void TDictionaryLookup::ComboBox1Select(int position) {
    if (position < 0 || position >= static_cast<int>(DictTables.size())) return;
    const TDictionaryInfo& dictionary = DictTables[static_cast<std::size_t>(position)];
    if (position <= 1) {
        FMode = position == 0 ? TLookupMode::lmExplanatory : TLookupMode::lmForeignWords;
        // An entry box with only blanks is cleared too: it holds no word.
        const std::u16string text = FViews.Edit1->Text();
        if (!text.empty() && !StartsCyrillic(text)) FViews.Edit1->SetText({});
        if (FBgTable == dictionary.Tables.Bg && FForTable == dictionary.Tables.For) return;
        SelectDictionary(dictionary.Tables, dictionary.SoundFolder);
        FViews.vKeyBoard->SetMenu(TSpecialMenu::None);
        FViews.vKeyBoard->SetVisible(false);
    } else {
        SelectDictionary(dictionary.Tables, dictionary.SoundFolder);
        FMode = TLookupMode::lmForeignToBg;
        if (!dictionary.SpecialChars) FViews.vKeyBoard->SetMenu(TSpecialMenu::None);
        FViews.vKeyBoard->SetVisible(dictionary.SpecialChars);
    }
    Log("switch " + std::to_string(position) + " " + FBgTable + " " + FForTable);
    if (FViews.Edit1->Text().empty() && FWords.Count() > 0) {
        SelectItem(0);
        SearchWord(FWords.Item(0));
    } else {
        SearchWord(GetSearchKey());
    }
}

void TDictionaryLookup::SelectDictionary(const TTablePair& pair, std::string_view soundFolder) {
    if (FBgTable == pair.Bg && FForTable == pair.For) return;
    OpenTables(pair);
    FBgTable = pair.Bg;
    FForTable = pair.For;
    FillWordList();
    FSoundDir = FSourcePath + "/Sounds/" + std::string(soundFolder) + "/";
}

void TDictionaryLookup::OpenTables(const TTablePair& pair) {
    FDatas.tBG.Close();
    FDatas.tFor.Close();
    FDatas.tBG.SetTableName(pair.Bg);
    if (IsBulgarianOnlyMode(FMode)) {
        FDatas.OpenTable(FDatas.tBG);
        return;
    }
    FDatas.tFor.SetTableName(pair.For);
    FDatas.OpenTable(FDatas.tBG);
    FDatas.OpenTable(FDatas.tFor);
}

void TDictionaryLookup::FillWordList() {
    FWords = TWordList();
    FViews.lbWords->SetItems({});
    const bool foreign = FMode == TLookupMode::lmForeignToBg;
    // A missing row leaves tWords where it was: its list is loaded then.
    (void)FDatas.LocateWordList(foreign ? FForTable : FBgTable);
    FWords = TWordList(FDatas.CurrentWordList());
    FViews.lbWords->SetItems(FWords.Items());
    FCyrillicList = !foreign;
    SetDisplayCharSet(foreign ? TCharSet::Western : TCharSet::Cyrillic);
}

bool TDictionaryLookup::IsMonolingual() const {
    return FBgTable == FForTable && (FBgTable == "Bg_Bg" || FBgTable == "Bg_Jd");
}

// ---------------------------------------------------------------- word entry

std::string TDictionaryLookup::GetSearchKey() {
    std::u16string text = FViews.Edit1->Text();
    if (text.empty()) return {};
    if (text.size() > kMaxKeyCharacters) {
        text.resize(kMaxKeyCharacters);
        FViews.Edit1->SetText(text);
    }
    return ToSearchKey(text);
}

void TDictionaryLookup::SearchWord(std::string key) {
    if (key.empty()) return;
    if (DetectDirection(key, FMode)) {
        if (FPrevMode != FMode && IsBilingualMode(FMode) && ScriptDiffersFromList(key)) FillWordList();
        FPrevMode = FMode;
    }
    const int found = FWords.Search(key);
    if (found < 0) return;
    SelectItem(found);
    ShowEntry(FWords.Item(found));
}

bool TDictionaryLookup::DetectDirection(std::string_view key, TLookupMode& mode) const {
    if (key.empty()) return false;
    const bool keyboard = FViews.Keyboard->IsBulgarianKeyboard();
    const auto bulgarianMode = [&mode] {
        if (!IsBulgarianOnlyMode(mode)) mode = TLookupMode::lmBgToForeign;
    };
    const auto first = static_cast<std::uint8_t>(key[0]);
    if (key.size() == 1) {
        if (IsLatinLetter(first)) {
            mode = TLookupMode::lmForeignToBg;
        } else if (IsHighLetter(first) && keyboard) {
            bulgarianMode();
        } else if (IsHighLetter(first)) {
            if (mode != TLookupMode::lmForeignWords) mode = TLookupMode::lmForeignToBg;
        } else {
            return false;
        }
        return true;
    }
    const auto second = static_cast<std::uint8_t>(key[1]);
    if (IsLatinLetter(first) && (IsLatinLetter(second) || IsHighLetter(second))) {
        mode = TLookupMode::lmForeignToBg;
    } else if (IsHighLetter(first) && IsHighLetter(second)) {
        bulgarianMode();
    } else if (IsHighLetter(first) && IsLatinLetter(second) && !keyboard) {
        mode = TLookupMode::lmForeignToBg;
    } else {
        return false;
    }
    return true;
}

bool TDictionaryLookup::LooksCyrillic(std::string_view text) const {
    const std::string_view rest = TrimControls(text);
    const bool keyboard = FViews.Keyboard->IsBulgarianKeyboard();
    if (rest.empty()) return keyboard;
    const auto first = static_cast<std::uint8_t>(rest[0]);
    if (rest.size() == 1) return IsHighLetter(first) && keyboard;
    return IsHighLetter(first) && IsHighLetter(static_cast<std::uint8_t>(rest[1]));
}

bool TDictionaryLookup::ScriptDiffersFromList(std::string_view text) const {
    return LooksCyrillic(text) != FCyrillicList;
}

bool TDictionaryLookup::Edit1KeyPress(char16_t character) {
    if (character == kBackspace || character == kEnter || character == kEscape || character == kUnitSeparator)
        return true;
    if (FViews.Edit1->WholeTextSelected()) FViews.Edit1->SetText({});
    const std::uint8_t byte = KeyByte(character);
    const auto withCharacter = [&] { return GetSearchKey() + static_cast<char>(byte); };
    bool insert = true;
    if (IsMonolingual() && IsHighLetter(byte)) SearchWord(withCharacter());
    if (IsMonolingual() && byte != ' ' && !IsHighLetter(byte)) {
        insert = false;
        FViews.MessageBox->Show(kCyrillicOnlyMessage);
    }
    if (IsBilingualMode(FMode)) SearchWord(insert ? withCharacter() : GetSearchKey());
    return insert;
}

void TDictionaryLookup::Edit1KeyDown(int keyCode) {
    if (keyCode != kEnterKeyCode) return;
    FViews.Edit1->SelectAll();
    SearchWord(GetSearchKey());
}

void TDictionaryLookup::JvTransparentButton3Click() {
    if (FViews.Edit1->Text().empty() && FWords.Count() > 0) {
        SelectItem(0);
        lbWordsClick();
    } else {
        SearchWord(GetSearchKey());
    }
}

void TDictionaryLookup::lbWordsClick() {
    const int index = FViews.lbWords->ItemIndex();
    if (index < 0 || index >= FWords.Count()) return;
    ShowEntry(FWords.Item(index));
}

// ---------------------------------------------------------------- entry display

pirin::TPirinTable& TDictionaryLookup::CurrentTable() const {
    return FMode == TLookupMode::lmForeignToBg ? FDatas.tFor : FDatas.tBG;
}

void TDictionaryLookup::ShowEntry(const std::string& headword) {
    pirin::TPirinTable& table = CurrentTable();
    const bool foreign = &table == &FDatas.tFor;
    // tFor stays closed after a Bulgarian-only dictionary: open it on demand,
    // also for an empty item, whose first record it must show.
    if (foreign && !table.Active()) {
        table.SetTableName(FForTable);
        FDatas.OpenTable(table);
    }
    if (headword.empty()) {
        table.First();
        FViews.reDescription->LoadArticle(EntryField(table, TEntryField::Desc).AsString());
        SelectItem(0);
        return;
    }
    if (foreign) {
        (void)table.FindKey({headword});
        LoadCurrentEntry(table, true);
    } else if (table.FindKey({headword})) {
        LoadCurrentEntry(table, true);
    } else {
        UpdateSpeaker();
        return;
    }
    UpdateSpeaker();
    if (Logging())
        Log("show-entry " + table.TableName() + " " + ModeName(FMode) + " " +
            std::to_string(FViews.lbWords->ItemIndex()) + " " +
            BytesToUtf8(headword, foreign ? 1252 : 1251));
}

void TDictionaryLookup::LoadCurrentEntry(pirin::TPirinTable& table, bool setCaption) {
    FViews.reDescription->LoadArticle(EntryField(table, TEntryField::Desc).AsString());
    if (setCaption) FViews.lWord->SetCaption(EntryField(table, TEntryField::Word).AsString());
}

pirin::TField& TDictionaryLookup::EntryField(pirin::TPirinTable& table, TEntryField which) {
    TEntryFields& held = FEntryFields[&table == &FDatas.tFor ? 1 : 0];
    // Every open and close makes the field objects anew.
    if (held.Table != &table || held.Generation != table.FieldsGeneration())
        held = {.Table = &table, .Generation = table.FieldsGeneration()};
    const bool word = which == TEntryField::Word;
    pirin::TField*& field = word ? held.Word : held.Desc;
    if (field == nullptr) field = &table.FieldByName(word ? "Word" : "Desc");
    return *field;
}

void TDictionaryLookup::reDescriptionDblClick() {
    FMinimizeFirst = false;
    const std::u16string selection = FViews.reDescription->SelectedText();
    if (!selection.empty()) FViews.Clipboard->SetText(selection);
}

// ---------------------------------------------------------------- clipboard

void TDictionaryLookup::JvClipboardViewer1Text(const std::string& text) {
    if (!FActiveTranslate || text.empty()) return;
    if (Logging()) Log("clipboard " + BytesToUtf8(text, 1251));
    if (IsBulgarianOnlyMode(FMode) && static_cast<std::uint8_t>(text[0]) < 0xC0) {
        FViews.Edit1->SetText({});
        return;
    }
    FViews.Edit1->SetText({});
    FViews.Edit1->PasteFromClipboard();
    SearchWord(GetSearchKey());
    if (FMinimizeFirst) FViews.Window->Minimize();
    FMinimizeFirst = true;
    FViews.Window->ShowAndRestore();
}

void TDictionaryLookup::CtrlC1Click() {
    const bool checked = !FViews.CtrlC1->Checked();
    FViews.CtrlC1->SetChecked(checked);
    try {
        FViews.Settings->WriteActiveTranslate(checked);
    } catch (...) {
        // The tick keeps telling the state the feature is really in.
        FViews.CtrlC1->SetChecked(!checked);
        throw;
    }
    FActiveTranslate = checked;
}

// ---------------------------------------------------------------- special characters

void TDictionaryLookup::vKeyBoardMouseDown() {
    if (FViews.Keyboard->IsBulgarianKeyboard()) {
        FViews.vKeyBoard->SetMenu(TSpecialMenu::None);
    } else if (FForTable == "Gs_Bg") {
        FViews.vKeyBoard->SetMenu(TSpecialMenu::German);
    } else if (FForTable == "Sp_Bg") {
        FViews.vKeyBoard->SetMenu(TSpecialMenu::Spanish);
    } else if (FForTable == "Fr_Bg") {
        FViews.vKeyBoard->SetMenu(TSpecialMenu::French);
    }
}

void TDictionaryLookup::sc1Click(int tag) {
    if (tag < 0 || tag >= static_cast<int>(SpecialChars.size())) return;
    if (LooksCyrillic(ToSystemBytes(FViews.Edit1->Text()))) return;
    if (FMode != TLookupMode::lmForeignToBg) {
        FMode = TLookupMode::lmForeignToBg;
        SetDisplayCharSet(TCharSet::Western);
        FillWordList();
    }
    const TSpecialChar& letter = SpecialChars[static_cast<std::size_t>(tag)];
    FViews.Edit1->SetText(FViews.Edit1->Text() + (FWideInsert ? letter.Letter : letter.Caption));
    FViews.Edit1->SetCaretToEnd();
    SearchWord(GetSearchKey());
}

// ---------------------------------------------------------------- pronunciation

std::string TDictionaryLookup::SoundFile() const {
    // Put together at every entry shown: one allocation.
    const std::string number = std::to_string(FViews.lbWords->ItemIndex() + 1);
    std::string file;
    file.reserve(FSoundDir.size() + number.size() + 4);
    file.append(FSoundDir).append(number).append(".mp3");
    return file;
}

void TDictionaryLookup::UpdateSpeaker() {
    // Asked at every entry shown (a keystroke): one stat of the name, no
    // path object.
    struct stat status {};
    const bool exists = FMode == TLookupMode::lmForeignToBg &&
                        ::stat(SoundFile().c_str(), &status) == 0 && S_ISREG(status.st_mode);
    FViews.Image2->SetVisible(exists);
}

void TDictionaryLookup::Image2Click() {
    try {
        FViews.Player->Close();
        FViews.Player->Play(SoundFile());
    } catch (...) {
        // A missing or unplayable file plays nothing and says nothing.
    }
}

// ---------------------------------------------------------------- helpers

void TDictionaryLookup::SetDisplayCharSet(TCharSet charSet) {
    FViews.lbWords->SetCharSet(charSet);
    FViews.lWord->SetCharSet(charSet);
    FViews.Edit1->SetCharSet(charSet);
}

void TDictionaryLookup::SelectItem(int index) { FViews.lbWords->SetItemIndex(index); }

bool TDictionaryLookup::Logging() const noexcept { return FViews.Log != nullptr; }

void TDictionaryLookup::Log(const std::string& line) const {
    if (FViews.Log != nullptr) FViews.Log->Write(line);
}

}  // namespace vorlano
