#include "tables/filter_text.h"

#include <cctype>
#include <charconv>

namespace pirin {

namespace {

class TFilterTextReader {
  public:
    explicit TFilterTextReader(std::string_view text) : FText(text) {}

    std::optional<std::vector<TFilterTerm>> Terms() {
        std::vector<TFilterTerm> terms;
        for (;;) {
            TFilterTerm term;
            if (!Name(term.FieldName) || !Operator(term.Operator) || !Constant(term.Value)) return std::nullopt;
            terms.push_back(std::move(term));
            SkipSpace();
            if (AtEnd()) return terms;
            if (!Keyword("and")) return std::nullopt;
        }
    }

  private:
    bool AtEnd() const noexcept { return FAt >= FText.size(); }
    char Peek() const noexcept { return AtEnd() ? '\0' : FText[FAt]; }
    void SkipSpace() {
        while (!AtEnd() && std::isspace(static_cast<unsigned char>(FText[FAt]))) ++FAt;
    }
    static bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

    bool Name(std::string& name) {
        SkipSpace();
        if (Peek() == '[') {
            const std::size_t close = FText.find(']', FAt + 1);
            if (close == std::string_view::npos || close == FAt + 1) return false;
            name = FText.substr(FAt + 1, close - FAt - 1);
            FAt = close + 1;
            return true;
        }
        const std::size_t start = FAt;
        while (!AtEnd() && IsWordChar(FText[FAt])) ++FAt;
        name = FText.substr(start, FAt - start);
        return !name.empty();
    }

    bool Operator(TFilterOperator& op) {
        SkipSpace();
        static constexpr std::pair<std::string_view, TFilterOperator> kOperators[] = {
            {"<>", TFilterOperator::NotEqual}, {"<=", TFilterOperator::AtMost}, {">=", TFilterOperator::AtLeast},
            {"=", TFilterOperator::Equal},     {"<", TFilterOperator::Below},   {">", TFilterOperator::Above}};
        for (const auto& [text, value] : kOperators)
            if (FText.substr(FAt, text.size()) == text) {
                FAt += text.size();
                op = value;
                return true;
            }
        return false;
    }

    bool Constant(TKeyValue& value) {
        SkipSpace();
        if (Peek() == '\'') {
            std::string text;
            for (++FAt; !AtEnd(); ++FAt) {
                if (FText[FAt] != '\'') {
                    text += FText[FAt];
                } else if (Peek2() == '\'') {
                    text += '\'';
                    ++FAt;
                } else {
                    ++FAt;
                    value = std::move(text);
                    return true;
                }
            }
            return false;  // no closing quote
        }
        if (Keyword("null")) {
            value = nullptr;
            return true;
        }
        const std::size_t start = FAt;
        if (Peek() == '-' || Peek() == '+') ++FAt;
        while (!AtEnd() && std::isdigit(static_cast<unsigned char>(FText[FAt]))) ++FAt;
        std::int64_t number = 0;
        const char* first = FText.data() + start + (FText[start] == '+' ? 1 : 0);
        const auto [end, error] = std::from_chars(first, FText.data() + FAt, number);
        if (error != std::errc() || end != FText.data() + FAt || (!AtEnd() && IsWordChar(Peek()))) return false;
        value = number;
        return true;
    }

    char Peek2() const noexcept { return FAt + 1 < FText.size() ? FText[FAt + 1] : '\0'; }

    // A whole word, in any letter case.
    bool Keyword(std::string_view word) {
        SkipSpace();
        if (FText.size() - FAt < word.size()) return false;
        for (std::size_t i = 0; i < word.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(FText[FAt + i])) != word[i]) return false;
        if (FAt + word.size() < FText.size() && IsWordChar(FText[FAt + word.size()])) return false;
        FAt += word.size();
        return true;
    }

    std::string_view FText;
    std::size_t FAt = 0;
};

}  // namespace

std::optional<std::vector<TFilterTerm>> ParseFilterText(std::string_view text) {
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) return std::nullopt;
    return TFilterTextReader(text).Terms();
}

}  // namespace pirin
