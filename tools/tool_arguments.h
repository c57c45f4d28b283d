// TToolArguments: a tool's command line split into the command, its
// positional arguments and its options ("--name value", repeatable, or bare
// flags "--name"). Which options take a value and which are flags is given by
// the command, so that a value is never mistaken for a positional argument.
//
// Plain value: one thread. Failures: EUsageError for an unknown option, a
// missing value, or a wrong count of positional arguments (the tools exit 2).
#pragma once

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pirin::tools {

class EUsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct TOptionKinds {
    std::set<std::string> Valued;  // names without "--"
    std::set<std::string> Flags;
};

class TToolArguments {
  public:
    // `arguments` are those after the command name.
    TToolArguments(const std::vector<std::string>& arguments, const TOptionKinds& kinds);

    const std::vector<std::string>& Positional() const noexcept { return FPositional; }
    // Raises EUsageError unless between `least` and `most` positional arguments.
    void ExpectPositional(std::size_t least, std::size_t most) const;
    // Every value of a valued option, in order.
    std::vector<std::string> Values(std::string_view name) const;
    // The one value of an option that must be given (EUsageError otherwise).
    std::string Required(std::string_view name) const;
    bool Flag(std::string_view name) const { return FFlags.contains(std::string(name)); }

  private:
    std::vector<std::string> FPositional;
    std::multimap<std::string, std::string, std::less<>> FValues;
    std::set<std::string> FFlags;
};

}  // namespace pirin::tools
