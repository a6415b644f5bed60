#include "cli/CommandOptions.h"

#include "core/Language.h"

#include <CLI/CLI.hpp>
#include <algorithm>

namespace taktwerk::cli {

CommandOptions::CommandOptions() : app_(std::make_unique<CLI::App>())
{
    // Help and --version are answered before any command runs, and never create anything.
    app_->set_help_flag();
    // Words that fit no option are collected and told in our own words below.
    app_->allow_extras();
}

CLI::Option* CommandOptions::value(const std::string& names, std::string& into)
{
    return app_->add_option(names, into)->multi_option_policy(CLI::MultiOptionPolicy::Throw);
}

CLI::Option* CommandOptions::values(const std::string& names, std::vector<std::string>& into)
{
    // One value for each time the option is given: the next word is never swallowed as a
    // second value.
    return app_->add_option(names, into)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

CLI::Option* CommandOptions::flag(const std::string& names, bool& into)
{
    CLI::Option* option = app_->add_flag(names, into);
    flags_.push_back(option);
    return option;
}

CLI::Option* CommandOptions::positional(const std::string& name, std::string& into)
{
    return app_->add_option(name, into)->multi_option_policy(CLI::MultiOptionPolicy::Throw);
}

CommandOptions::~CommandOptions() = default;

bool CommandOptions::given(const CLI::Option* option) { return option->count() > 0; }

void CommandOptions::exclusive(CLI::Option* a, CLI::Option* b) { a->excludes(b); }

core::Result<void> CommandOptions::parse(std::span<const std::string_view> args)
{
    // CLI11 would read "--json=no" as "--json" switched off; a flag takes no value here.
    for (const std::string_view word : args) {
        if (word == "--")
            break;
        const std::string_view name = word.substr(0, word.find('='));
        if (name.size() == word.size() || !name.starts_with("--"))
            continue;
        for (const CLI::Option* flag : flags_) {
            if (flag->check_lname(std::string(name.substr(2))))
                return core::fail(core::translated("%s takes no value", {flag->get_name()}));
        }
    }
    // CLI11 takes the words last first.
    std::vector<std::string> words(args.rbegin(), args.rend());
    try {
        app_->parse(words);
    } catch (const CLI::ParseError& error) {
        return core::fail(problemOf(error));
    }
    // CLI11 keeps the "--" that ended the options among the extras; it is no word too many.
    std::vector<std::string> extras = app_->remaining();
    std::erase(extras, "--");
    if (extras.empty())
        return {};
    const std::string& first = extras.front();
    // After "--" a word with a dash is a file name, one too many.
    const auto mark = std::find(args.begin(), args.end(), "--");
    const bool afterMark = std::find(mark, args.end(), first) != args.end();
    if (first.size() > 1 && first.front() == '-' && !afterMark)
        return core::fail(core::translated("unknown option \"%s\"", {first}));
    return core::fail(core::translated("one word too many: \"%s\"", {first}));
}

std::string CommandOptions::problemOf(const CLI::ParseError& error) const
{
    // CLI11 says which option in English only; the option is found by its state instead.
    const auto options = app_->get_options();
    if (dynamic_cast<const CLI::ExcludesError*>(&error) != nullptr) {
        for (const CLI::Option* option : options) {
            for (const CLI::Option* other : option->get_excludes()) {
                if (given(option) && given(other))
                    return core::translated("%s and %s exclude each other",
                                            {option->get_name(), other->get_name()});
            }
        }
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
        for (const CLI::Option* option : options) {
            if (option->get_multi_option_policy() == CLI::MultiOptionPolicy::Throw &&
                option->count() > 1)
                return core::translated("%s is given more than once", {option->get_name()});
        }
        const std::string what = error.what();
        const auto named = std::find_if(options.begin(), options.end(), [&](const CLI::Option* o) {
            return what.starts_with(o->get_name() + ":");
        });
        if (named != options.end())
            return core::translated("%s needs a value", {(*named)->get_name()});
    }
    return error.what();
}

}  // namespace taktwerk::cli
