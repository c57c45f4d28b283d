// The catalogue of the seven dictionaries in the order of the selector, and
// the letters of the special-characters menus.
//
// Constant data: any thread; nothing fails.
#pragma once

#include <array>
#include <string_view>

#include "lookup/lookup_views.h"

namespace vorlano {

// The Bulgarian-side and the foreign-side table of a dictionary; both are
// the same table for a Bulgarian-only dictionary.
struct TTablePair {
    std::string_view Bg;
    std::string_view For;
};

struct TDictionaryInfo {
    std::string_view Caption;  // UTF-8
    TTablePair Tables;
    std::string_view SoundFolder;  // empty: no pronunciations
    bool SpecialChars;             // the special-characters button is shown
};

inline constexpr std::array<TDictionaryInfo, 7> DictTables{{
    {"Тълковен речник", {"Bg_Bg", "Bg_Bg"}, "", false},
    {"Речник на чуждите думи", {"Bg_Jd", "Bg_Jd"}, "", false},
    {"Английски <=> Български", {"Bg_En", "En_Bg"}, "EN_MP3", false},
    {"Немски <=> Български", {"Bg_Gs", "Gs_Bg"}, "GS_MP3", true},
    {"Испански <=> Български", {"Bg_Sp", "Sp_Bg"}, "SPA_MP3", true},
    {"Италиански <=> Български", {"Bg_It", "It_Bg"}, "ITA_MP3", false},
    {"Френски <=> Български", {"Bg_Fr", "Fr_Bg"}, "FRE_MP3", true},
}};

// The letters of the special-characters menus by tag, and the caption each
// item stores: the Cyrillic letter with the same single-byte code.
struct TSpecialChar {
    char16_t Letter;
    char16_t Caption;
    TSpecialMenu Menu;
};

inline constexpr std::array<TSpecialChar, 21> SpecialChars{{
    {u'ß', u'Я', TSpecialMenu::German},  {u'ä', u'д', TSpecialMenu::German},
    {u'ö', u'ц', TSpecialMenu::German},  {u'ü', u'ь', TSpecialMenu::German},
    {u'á', u'б', TSpecialMenu::Spanish}, {u'é', u'й', TSpecialMenu::Spanish},
    {u'í', u'н', TSpecialMenu::Spanish}, {u'ó', u'у', TSpecialMenu::Spanish},
    {u'ú', u'ъ', TSpecialMenu::Spanish}, {u'ñ', u'с', TSpecialMenu::Spanish},
    {u'é', u'й', TSpecialMenu::French},  {u'è', u'и', TSpecialMenu::French},
    {u'ê', u'к', TSpecialMenu::French},  {u'î', u'о', TSpecialMenu::French},
    {u'ï', u'п', TSpecialMenu::French},  {u'ë', u'л', TSpecialMenu::French},
    {u'â', u'в', TSpecialMenu::French},  {u'ô', u'ф', TSpecialMenu::French},
    {u'û', u'ы', TSpecialMenu::French},  {u'ù', u'щ', TSpecialMenu::French},
    {u'ç', u'з', TSpecialMenu::French},
}};

}  // namespace vorlano
