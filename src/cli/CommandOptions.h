#pragma once
// Reading a command's words with CLI11: `--opt value` and `--opt=value` alike, "--" ends the
// options, a lone "-" is a value (standard output). What does not fit is told in one line of
// our own, in the user's language, instead of CLI11's English; the command then prints its
// usage. Main thread of the command line.

#include "core/Result.h"

#include <CLI/CLI.hpp>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace taktwerk::cli {

class CommandOptions {
public:
    CommandOptions();

    // An option with exactly one value; given twice it is refused, never the last one silently
    // kept. `names` as CLI11 takes them: "-o,--output".
    CLI::Option* value(const std::string& names, std::string& into);
    // An option that may come again, each time with one value.
    CLI::Option* values(const std::string& names, std::vector<std::string>& into);
    CLI::Option* flag(const std::string& names, bool& into);
    // The next word that is no option.
    CLI::Option* positional(const std::string& name, std::string& into);
    // `a` and `b` together are refused.
    static void exclusive(CLI::Option* a, CLI::Option* b);

    // Fills the options from `args` (the words after the command's name). The failure's
    // message is the problem in one line.
    core::Result<void> parse(std::span<const std::string_view> args);

    static bool given(const CLI::Option* option) { return option->count() > 0; }

private:
    std::string problemOf(const CLI::ParseError& error) const;

    CLI::App app_;
    std::vector<const CLI::Option*> flags_;
};

}  // namespace taktwerk::cli
