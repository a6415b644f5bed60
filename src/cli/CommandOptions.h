#pragma once
// Reading a command's words with CLI11: `--opt value` and `--opt=value` alike, "--" ends the
// options, a lone "-" is a value (standard output). What does not fit is told in one line of
// our own, in the user's language, instead of CLI11's English; the command then prints its
// usage. Main thread of the command line.
//
// CLI11 is included by the one file that parses: it is all templates and inline code, and each
// command including it took several times as long to compile as the command itself.

#include "core/Result.h"

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
class Option;
class ParseError;
}  // namespace CLI

namespace taktwerk::cli {

class CommandOptions {
public:
    CommandOptions();
    ~CommandOptions();
    CommandOptions(const CommandOptions&) = delete;
    CommandOptions& operator=(const CommandOptions&) = delete;

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

    static bool given(const CLI::Option* option);

private:
    std::string problemOf(const CLI::ParseError& error) const;

    std::unique_ptr<CLI::App> app_;
    std::vector<const CLI::Option*> flags_;
};

}  // namespace taktwerk::cli
