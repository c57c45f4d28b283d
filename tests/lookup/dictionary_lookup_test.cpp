#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "lookup/search_key.h"
#include "tests/lookup/lookup_test_support.h"

namespace vorlano::testing {
namespace {

using enum TLookupMode;

TEST_F(LookupTest, StartUpShowsTheFirstEntryOfTheExplanatoryDictionary) {
    EXPECT_EQ(Lookup.Mode(), lmExplanatory);
    EXPECT_EQ(Lookup.PrevMode(), lmExplanatory);
    EXPECT_EQ(Lookup.BgTable(), "Bg_Bg");
    EXPECT_EQ(Lookup.SoundDir(), Fixture.Root().string() + "/Sounds//");
    EXPECT_EQ(View.lbWords.ItemIndex(), 0);
    EXPECT_EQ(View.lWord.Caption, Cyr(u"абажур"));
    EXPECT_NE(View.reDescription.Article.find("{\\rtf1"), std::string::npos);
    EXPECT_TRUE(Datas.tBG.Active());
    EXPECT_FALSE(Datas.tFor.Active());
    EXPECT_EQ(View.lbWords.CharSet, TCharSet::Cyrillic);
    EXPECT_EQ(View.Log.Lines.back(), "show-entry Bg_Bg lmExplanatory 0 абажур");
}

TEST_F(LookupTest, SwitchingOpensTablesAndListsByThePreviousMode) {
    // From the explanatory dictionary to English with an empty box: only
    // tBG opens, the Bulgarian list shows and its first word decides.
    Lookup.ComboBox1Select(2);
    EXPECT_TRUE(Datas.tBG.Active());
    EXPECT_FALSE(Datas.tFor.Active());
    EXPECT_EQ(View.lbWords.Items.front(), Cyr(u"банан"));
    EXPECT_EQ(View.lbWords.ItemIndex(), 0);
    EXPECT_EQ(View.lWord.Caption, Cyr(u"банан"));
    EXPECT_EQ(Lookup.Mode(), lmBgToForeign);
    EXPECT_FALSE(View.vKeyBoard.Visible());

    // English to German: both open, the list keeps the Bulgarian side, the
    // special-characters button shows.
    Lookup.ComboBox1Select(3);
    EXPECT_EQ(Datas.tFor.TableName(), "Gs_Bg");
    EXPECT_TRUE(Datas.tFor.Active());
    EXPECT_EQ(View.lbWords.Items.front(), Cyr(u"къща"));
    EXPECT_TRUE(View.vKeyBoard.Visible());

    // German to French with a Latin word in the box: the French list, by prefix.
    View.Edit1.SetText(u"mai");
    Lookup.ComboBox1Select(6);
    EXPECT_EQ(Lookup.Mode(), lmForeignToBg);
    EXPECT_EQ(View.lbWords.Items.front(), Lat(u"école"));
    EXPECT_EQ(Selected(), "maison");
    EXPECT_EQ(View.lbWords.CharSet, TCharSet::Western);

    // French to the explanatory dictionary: the Latin word goes, tFor
    // closes, the button hides and loses its menu.
    View.vKeyBoard.SetMenu(TSpecialMenu::French);
    Lookup.ComboBox1Select(0);
    EXPECT_EQ(View.Edit1.Text(), u"");
    EXPECT_FALSE(Datas.tFor.Active());
    EXPECT_FALSE(View.vKeyBoard.Visible());
    EXPECT_EQ(View.vKeyBoard.Menu(), TSpecialMenu::None);
    EXPECT_EQ(View.lWord.Caption, Cyr(u"абажур"));

    // Choosing it again reopens nothing and searches nothing, but still
    // clears a Latin word; a Cyrillic word stays for the foreign words.
    const std::size_t logged = View.Log.Lines.size();
    View.Edit1.SetText(u"house");
    Lookup.ComboBox1Select(0);
    EXPECT_EQ(View.Edit1.Text(), u"");
    EXPECT_EQ(View.Log.Lines.size(), logged);
    View.Edit1.SetText(u"гараж");
    Lookup.ComboBox1Select(1);
    EXPECT_EQ(View.Edit1.Text(), u"гараж");
    EXPECT_EQ(Lookup.Mode(), lmForeignWords);
    EXPECT_EQ(Selected(), Cyr(u"гараж"));
}

TEST_F(LookupTest, TypingHouseFollowsThePrefixWithEveryLetter) {
    Lookup.ComboBox1Select(2);
    const std::vector<std::string> expected = {"h", "hose", "house", "house", "house"};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        Type(std::u16string(1, u"house"[i]));
        EXPECT_EQ(Selected(), expected[i]) << "after " << i + 1 << " letters";
        EXPECT_EQ(Lookup.Mode(), lmForeignToBg);
    }
    EXPECT_EQ(View.Edit1.Text(), u"house");
    EXPECT_EQ(View.lbWords.Items.front(), "ab");
    EXPECT_EQ(View.lbWords.CharSet, TCharSet::Western);
    // tFor was closed after the explanatory dictionary: opened on demand.
    EXPECT_TRUE(Datas.tFor.Active());
    EXPECT_EQ(View.lWord.Caption, "house");
    EXPECT_NE(View.reDescription.Article.find("article of house"), std::string::npos);
}

TEST_F(LookupTest, EntriesShowFromTablesOpenedAgainBetweenKeystrokes) {
    Lookup.ComboBox1Select(2);
    Type(u"house");
    ASSERT_EQ(View.lWord.Caption, "house");
    // Closed and opened again behind the lookup's back: new field objects.
    Datas.tFor.Close();
    Datas.OpenTable(Datas.tFor);
    View.Edit1.SetText({});
    Type(u"hose");
    EXPECT_EQ(View.lWord.Caption, "hose");
    EXPECT_NE(View.reDescription.Article.find("article of hose"), std::string::npos);
    // Another dictionary's table under the same component.
    Lookup.ComboBox1Select(3);
    ASSERT_EQ(Datas.tFor.TableName(), "Gs_Bg");
    View.Edit1.SetText({});
    Type(u"haus");
    EXPECT_EQ(View.lWord.Caption, "Haus");
    EXPECT_NE(View.reDescription.Article.find("article of Haus"), std::string::npos);
}

TEST_F(LookupTest, TheListSearchFallsBackToShorterPrefixes) {
    Lookup.ComboBox1Select(2);
    Type(u"ax");
    EXPECT_EQ(Selected(), "ab");
    Type(u"qqq");
    EXPECT_EQ(Selected(), "ab");  // "axqqq" still lands by "a"
    // No item shares even the first byte: selection and entry stay.
    View.Edit1.SetText({});
    Type(u"y");
    EXPECT_EQ(Selected(), "ab");
    EXPECT_EQ(View.lWord.Caption, "ab");
}

TEST_F(LookupTest, DirectionRules) {
    Lookup.ComboBox1Select(2);
    ASSERT_EQ(Lookup.Mode(), lmBgToForeign);
    // A digit first applies no rule: mode and list stay.
    Type(u"1");
    EXPECT_EQ(Lookup.Mode(), lmBgToForeign);
    EXPECT_TRUE(Lookup.CyrillicList());

    struct TCase {
        std::string Key;
        bool Bulgarian;
        TLookupMode From, To;
        bool Applies;
    };
    const std::string cyr = Cyr(u"дом"), lat = "do";
    const std::vector<TCase> cases = {
        {"a", true, lmBgToForeign, lmForeignToBg, true},
        {cyr.substr(0, 1), true, lmForeignToBg, lmBgToForeign, true},
        {cyr.substr(0, 1), true, lmExplanatory, lmExplanatory, true},
        {cyr.substr(0, 1), false, lmBgToForeign, lmForeignToBg, true},
        {cyr.substr(0, 1), false, lmForeignWords, lmForeignWords, true},
        {cyr.substr(0, 1), false, lmExplanatory, lmForeignToBg, true},
        {lat, false, lmBgToForeign, lmForeignToBg, true},
        {cyr, false, lmForeignToBg, lmBgToForeign, true},
        {cyr.substr(0, 1) + "x", false, lmBgToForeign, lmForeignToBg, true},
        {cyr.substr(0, 1) + "x", true, lmBgToForeign, lmBgToForeign, false},
        {"x" + cyr.substr(0, 1), true, lmBgToForeign, lmForeignToBg, true},
        {"1a", true, lmForeignToBg, lmForeignToBg, false},
        {"a1", true, lmBgToForeign, lmBgToForeign, false},
    };
    for (const TCase& c : cases) {
        View.Keyboard.Bulgarian = c.Bulgarian;
        TLookupMode mode = c.From;
        EXPECT_EQ(Lookup.DetectDirection(c.Key, mode), c.Applies) << c.Key;
        EXPECT_EQ(mode, c.To) << c.Key;
    }

    // A non-Bulgarian layout makes a single high letter foreign, and the
    // list follows.
    View.Edit1.SetText({});
    View.Keyboard.Bulgarian = false;
    Type(u"д");
    EXPECT_EQ(Lookup.Mode(), lmForeignToBg);
    EXPECT_FALSE(Lookup.CyrillicList());
}

TEST_F(LookupTest, BulgarianOnlyDictionariesRefuseLatinLetters) {
    Type(u"a");
    EXPECT_EQ(View.Edit1.Text(), u"");
    ASSERT_EQ(View.MessageBox.Messages.size(), 1u);
    EXPECT_EQ(View.MessageBox.Messages[0], "Моля преминете в режим кирилица!");
    Type(u"5");
    EXPECT_EQ(View.MessageBox.Messages.size(), 2u);
    // A blank goes in without a search; a Cyrillic letter searches.
    const std::size_t logged = View.Log.Lines.size();
    Type(u" ");
    EXPECT_EQ(View.Edit1.Text(), u" ");
    EXPECT_EQ(View.Log.Lines.size(), logged);
    View.Edit1.SetText({});
    Type(u"кн");
    EXPECT_EQ(Selected(), Cyr(u"книга"));
    EXPECT_EQ(Lookup.Mode(), lmExplanatory);
}

TEST_F(LookupTest, EnterSelectsTheWordAndTheNextLetterStartsANewOne) {
    Type(u"град");
    Lookup.Edit1KeyDown(13);
    EXPECT_TRUE(View.Edit1.WholeTextSelected());
    EXPECT_EQ(Selected(), Cyr(u"град"));
    Type(u"з");
    EXPECT_EQ(View.Edit1.Text(), u"з");
    EXPECT_EQ(Selected(), Cyr(u"зима"));
}

TEST_F(LookupTest, TextLongerThan25CharactersIsCut) {
    Lookup.ComboBox1Select(2);
    View.Edit1.SetText(u"householdxxxxxxxxxxxxxxxxxxxxx");  // 30 characters
    EXPECT_EQ(Lookup.GetSearchKey(), "householdxxxxxxxxxxxxxxxx");
    EXPECT_EQ(View.Edit1.Text().size(), 25u);
    Lookup.JvTransparentButton3Click();
    EXPECT_EQ(Selected(), "household");
}

TEST_F(LookupTest, KeyConversionMapsWesternLettersToLatin1) {
    EXPECT_EQ(ToSearchKey(u"üßé"), "\xFC\xDF\xE9");
    EXPECT_EQ(ToSearchKey(u"дом"), Cyr(u"дом"));
    EXPECT_EQ(ToSearchKey(u"à"), "?");
    // Windows-1251 case rules: Cyrillic and Latin pairs, nothing else.
    TWordList list({"b", Cyr(u"ДОМ"), "ABC", "\xDC" "ber"});
    EXPECT_EQ(list.FindExact(Cyr(u"дом")), 1);
    EXPECT_EQ(list.FindPrefix("ab"), 2);
    EXPECT_EQ(list.FindPrefix("\xFC"), 3);
    EXPECT_EQ(list.FindPrefix("\xA8"), -1);
}

TEST_F(LookupTest, MissingHeadwordsAndEmptyItems) {
    Lookup.ComboBox1Select(2);
    Type(u"дом");
    const std::string article = View.reDescription.Article;
    // Bulgarian side: a list word without an entry changes nothing shown.
    View.lbWords.SetItemIndex(6);
    ASSERT_EQ(Selected(), Cyr(u"призрак"));
    Lookup.lbWordsClick();
    EXPECT_EQ(View.reDescription.Article, article);
    EXPECT_EQ(View.lWord.Caption, Cyr(u"дом"));

    // Foreign side: the record the table stands on is shown again.
    View.Edit1.SetText({});
    Type(u"dog");
    View.lbWords.SetItemIndex(4);
    ASSERT_EQ(Selected(), "ghost");
    Lookup.lbWordsClick();
    EXPECT_EQ(View.lWord.Caption, "dog");

    // An empty item shows the table's first record and selects item 0.
    Lookup.ComboBox1Select(1);
    const std::string first = View.reDescription.Article;
    View.lbWords.SetItemIndex(2);
    Lookup.lbWordsClick();
    ASSERT_NE(View.reDescription.Article, first);
    View.lbWords.SetItemIndex(1);
    Lookup.lbWordsClick();
    EXPECT_EQ(View.lbWords.ItemIndex(), 0);
    EXPECT_EQ(View.reDescription.Article, first);
}

TEST_F(LookupTest, AnEmptyItemInTheForeignDirectionOpensTheForeignTable) {
    Lookup.ComboBox1Select(2);  // from a Bulgarian-only dictionary: tFor closed
    ASSERT_FALSE(Datas.tFor.Active());
    Lookup.SetMode(lmForeignToBg);
    Lookup.ShowEntry("");
    EXPECT_TRUE(Datas.tFor.Active());
    EXPECT_NE(View.reDescription.Article.find("article of ab"), std::string::npos);
}

TEST_F(LookupTest, PlainTextArticlesAreLoadedAsStored) {
    Type(u"ябълка");
    EXPECT_EQ(View.reDescription.Article, Cyr(u"ябълка - плод\r\nвтори ред"));
}

TEST_F(LookupTest, ClipboardTranslation) {
    // Bulgarian-only: a Latin text clears the box and brings nothing forward.
    View.Edit1.SetText(u"къ");
    View.Clipboard.SetText(u"house");
    EXPECT_EQ(View.Edit1.Text(), u"");
    EXPECT_TRUE(View.Desktop.Calls.empty());
    View.Clipboard.SetText(u"река");
    EXPECT_EQ(Selected(), Cyr(u"река"));
    EXPECT_EQ(View.Desktop.Calls, (std::vector<std::string>{"minimize", "restore"}));

    // Bilingual: any text, cut to 25 characters.
    Lookup.ComboBox1Select(2);
    View.Desktop.Calls.clear();
    View.Clipboard.SetText(u"household items and other things");
    EXPECT_EQ(View.Edit1.Text(), u"household items and other");
    EXPECT_EQ(Selected(), "household");
    EXPECT_EQ(Lookup.Mode(), lmForeignToBg);
    EXPECT_EQ(View.Desktop.Calls, (std::vector<std::string>{"minimize", "restore"}));

    // A double-click in the article copies the word and skips the minimise once.
    View.Desktop.Calls.clear();
    View.reDescription.Selection = u"dog ";
    Lookup.reDescriptionDblClick();
    EXPECT_EQ(View.Edit1.Text(), u"dog ");
    EXPECT_EQ(Selected(), "dog");
    EXPECT_EQ(View.Desktop.Calls, (std::vector<std::string>{"restore"}));
    EXPECT_TRUE(Lookup.MinimizeFirst());

    // Switched off: nothing happens, and the setting is written each time.
    Lookup.CtrlC1Click();
    EXPECT_FALSE(Lookup.ActiveTranslate());
    EXPECT_FALSE(View.CtrlC1.Checked());
    View.Clipboard.SetText(u"apple");
    EXPECT_EQ(View.Edit1.Text(), u"dog ");
    Lookup.CtrlC1Click();
    EXPECT_TRUE(Lookup.ActiveTranslate());
    EXPECT_EQ(View.Settings.Writes, (std::vector<std::string>{"0", "1"}));

    // A failed write leaves the feature and its tick as they were.
    View.Settings.Fail = true;
    EXPECT_THROW(Lookup.CtrlC1Click(), std::runtime_error);
    EXPECT_TRUE(Lookup.ActiveTranslate());
    EXPECT_TRUE(View.CtrlC1.Checked());
}

TEST_F(LookupTest, SpecialCharacters) {
    Lookup.ComboBox1Select(3);
    ASSERT_EQ(Lookup.Mode(), lmBgToForeign);
    // The Bulgarian layout gets no menu.
    Lookup.vKeyBoardMouseDown();
    EXPECT_EQ(View.vKeyBoard.Menu(), TSpecialMenu::None);
    View.Keyboard.Bulgarian = false;
    Lookup.vKeyBoardMouseDown();
    EXPECT_EQ(View.vKeyBoard.Menu(), TSpecialMenu::German);

    // ü from an empty box: the German list, Western display, by prefix.
    Lookup.sc1Click(3);
    EXPECT_EQ(Lookup.Mode(), lmForeignToBg);
    EXPECT_EQ(View.Edit1.Text(), u"ü");
    EXPECT_EQ(View.Edit1.CharSet, TCharSet::Western);
    EXPECT_EQ(View.lbWords.Items.front(), "Apfel");
    EXPECT_EQ(Selected(), Lat(u"über"));
    Type(u"bu");
    EXPECT_EQ(Selected(), Lat(u"Übung"));

    // A Bulgarian word is never extended.
    View.Edit1.SetText(u"къ");
    Lookup.sc1Click(1);
    EXPECT_EQ(View.Edit1.Text(), u"къ");

    // é of the Spanish and of the French menu is one letter, and the
    // stored caption gives the same key byte.
    Lookup.ComboBox1Select(4);
    View.Edit1.SetText({});
    Lookup.sc1Click(5);
    const std::u16string spanish = View.Edit1.Text();
    View.Edit1.SetText({});
    Lookup.sc1Click(10);
    EXPECT_EQ(View.Edit1.Text(), spanish);
    EXPECT_EQ(spanish, u"é");
    EXPECT_EQ(Selected(), Lat(u"él"));
    EXPECT_EQ(ToSearchKey(std::u16string(1, SpecialChars[10].Caption)), ToSearchKey(u"é"));
}

TEST_F(LookupTest, SpeakerShowsOnlyForAnExistingSoundInTheForeignDirection) {
    Lookup.ComboBox1Select(2);
    const std::filesystem::path folder = Fixture.Root() / "Sounds" / "EN_MP3";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "9.mp3") << "mp3";  // "house" is item 8
    std::ofstream(folder / "1.mp3") << "mp3";

    Type(u"house");
    EXPECT_TRUE(View.Image2.Visible());
    Lookup.Image2Click();
    Lookup.Image2Click();
    const std::string file = (folder / "9.mp3").string();
    EXPECT_EQ(View.Desktop.Calls,
              (std::vector<std::string>{"close", "play " + file, "close", "play " + file}));
    Type(u"hose");
    EXPECT_FALSE(View.Image2.Visible());

    // The Bulgarian direction hides it although 1.mp3 exists.
    View.Edit1.SetText({});
    Type(u"банан");
    EXPECT_EQ(View.lbWords.ItemIndex(), 0);
    EXPECT_FALSE(View.Image2.Visible());

    // Playback failures are swallowed.
    View.Desktop.FailPlay = true;
    EXPECT_NO_THROW(Lookup.Image2Click());
}

}  // namespace
}  // namespace vorlano::testing
