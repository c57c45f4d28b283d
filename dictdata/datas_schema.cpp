#include "dictdata/datas_schema.h"

#include <array>
#include <string>

#include "errors/database_error.h"

namespace vorlano {

using pirin::TFieldType;

namespace {

constexpr std::array<TExpectedField, 3> kWordListFields{{
    {"Id", TFieldType::Word, 0},
    {"Table", TFieldType::FixedChar, 5},
    {"Words", TFieldType::Memo, 0},
}};

constexpr std::array<TExpectedField, 3> kDictionaryFields{{
    {"Id", TFieldType::Integer, 0},
    {"Word", TFieldType::FixedChar, 50},
    {"Desc", TFieldType::Memo, 0},
}};

std::string TypeName(TFieldType type, int size) {
    switch (type) {
        case TFieldType::Word: return "Word";
        case TFieldType::Integer: return "Integer";
        case TFieldType::Memo: return "Memo";
        case TFieldType::FixedChar: return "FixedChar(" + std::to_string(size) + ")";
        case TFieldType::String: return "String(" + std::to_string(size) + ")";
        default: return "type " + std::to_string(static_cast<int>(type));
    }
}

}  // namespace

std::span<const TExpectedField> WordListFields() { return kWordListFields; }
std::span<const TExpectedField> DictionaryFields() { return kDictionaryFields; }

void CheckFields(const pirin::TPirinTable& table, std::span<const TExpectedField> fields) {
    for (const TExpectedField& expected : fields) {
        const pirin::TField* field = table.FindField(expected.Name);
        if (field == nullptr) pirin::DatabaseErrorFmt("Field '%s' not found", expected.Name);
        const int actualSize = expected.Size == 0 ? 0 : field->Size();
        if (field->DataType() != expected.Type || actualSize != expected.Size) {
            throw pirin::EDatabaseError("Type mismatch for field '" + std::string(expected.Name) +
                                        "', expecting: " + TypeName(expected.Type, expected.Size) +
                                        " actual: " + TypeName(field->DataType(), field->Size()));
        }
    }
}

}  // namespace vorlano
