#include "lookup/memory_views.h"

#include <stdexcept>

#include "lookup/search_key.h"

namespace vorlano {

void TMemoryEntryBox::PasteFromClipboard() {
    if (ClipboardText == nullptr) return;
    if (WholeTextSelected()) FText.clear();
    FText += *ClipboardText;
    FSelectedAll = false;
}

void TMemoryEntryBox::Insert(char16_t character) {
    if (WholeTextSelected()) FText.clear();
    FText.push_back(character);
    FSelectedAll = false;
}

void TMemoryClipboard::SetText(const std::u16string& text) {
    Text = text;
    if (OnChange && !text.empty()) OnChange(ToSystemBytes(text));
}

void TMemoryDesktop::Play(const std::string& path) {
    if (FailPlay) throw std::runtime_error("no sound device");
    Calls.push_back("play " + path);
}

void TMemorySettings::WriteActiveTranslate(bool on) {
    if (Fail) throw std::runtime_error("Unable to write to path_bg.ini");
    Writes.push_back(on ? "1" : "0");
}

}  // namespace vorlano
