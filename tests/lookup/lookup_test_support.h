// The lookup logic started on the fixture database with in-memory views,
// and the typing helpers the lookup tests share.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "dictdata/datas.h"
#include "lookup/dictionary_lookup.h"
#include "lookup/memory_views.h"
#include "tables/session_list.h"
#include "tests/dictdata/dictionary_fixture.h"

namespace vorlano::testing {

inline std::string Cyr(const std::u16string& text) { return TDictionaryFixture::Bytes(text, 1251); }
inline std::string Lat(const std::u16string& text) { return TDictionaryFixture::Bytes(text, 1252); }

class LookupTest : public ::testing::Test {
  protected:
    LookupTest()
        : Lookup(Datas, View.Views(),
                 {.DataDir = Fixture.DataDir(), .SourcePath = Fixture.Root().string()}) {
        View.Clipboard.OnChange = [this](const std::string& text) { Lookup.JvClipboardViewer1Text(text); };
    }
    void SetUp() override { Datas.DataModuleCreate(Lookup); }
    void TearDown() override { pirin::ShutdownTableLayer(); }

    // Types characters as the window would: the handler first, then the box.
    void Type(std::u16string_view text) {
        for (char16_t c : text)
            if (Lookup.Edit1KeyPress(c)) View.Edit1.Insert(c);
    }
    std::string Selected() const {
        const int index = View.lbWords.ItemIndex();
        return index < 0 ? std::string("<none>") : View.lbWords.Items.at(static_cast<std::size_t>(index));
    }

    TDictionaryFixture Fixture;
    TMemoryViews View;
    TDatas Datas;
    TDictionaryLookup Lookup;
};

}  // namespace vorlano::testing
