#include "tools/tool_arguments.h"

namespace pirin::tools {

TToolArguments::TToolArguments(const std::vector<std::string>& arguments,
                               const TOptionKinds& kinds) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.size() < 3 || argument.compare(0, 2, "--") != 0) {
            FPositional.push_back(argument);
            continue;
        }
        const std::string name = argument.substr(2);
        if (kinds.Flags.contains(name)) {
            FFlags.insert(name);
        } else if (kinds.Valued.contains(name)) {
            if (i + 1 >= arguments.size()) throw EUsageError("--" + name + " needs a value");
            FValues.emplace(name, arguments[++i]);
        } else {
            throw EUsageError("unknown option " + argument);
        }
    }
}

void TToolArguments::ExpectPositional(std::size_t least, std::size_t most) const {
    if (FPositional.size() < least || FPositional.size() > most)
        throw EUsageError("wrong number of arguments");
}

std::vector<std::string> TToolArguments::Values(std::string_view name) const {
    std::vector<std::string> values;
    for (auto [at, end] = FValues.equal_range(name); at != end; ++at) values.push_back(at->second);
    return values;
}

std::string TToolArguments::Required(std::string_view name) const {
    const std::vector<std::string> values = Values(name);
    if (values.size() != 1) throw EUsageError("give --" + std::string(name) + " once");
    return values.front();
}

}  // namespace pirin::tools
