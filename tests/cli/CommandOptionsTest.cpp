#include "cli/CommandOptions.h"

#include "cli/PlayCommand.h"
#include "cli/RhythmArgs.h"

#include <gtest/gtest.h>
#include <sstream>

namespace taktwerk::cli {
namespace {

// The options of a command with every kind: a file, values, a repeatable value and two flags
// that exclude each other.
struct Parsed {
    std::string file;
    std::string output;
    std::string loops;
    std::vector<std::string> maps;
    bool midi = false;
    bool wave = false;
};

core::Result<Parsed> parseWords(const std::vector<std::string_view>& words)
{
    Parsed parsed;
    CommandOptions options;
    options.positional("FILE", parsed.file);
    options.value("-o,--output", parsed.output);
    options.value("--loops", parsed.loops);
    options.values("--map", parsed.maps);
    auto* midi = options.flag("--midi", parsed.midi);
    CommandOptions::exclusive(midi, options.flag("--wave", parsed.wave));
    if (auto read = options.parse(words); !read)
        return core::fail(read.error().message);
    return parsed;
}

TEST(CommandOptions, BothSpellingsOfAValueAndTheMistakesInOneLine)
{
    struct Case {
        std::vector<std::string_view> words;
        std::string problem;  // empty: accepted
        std::string output = {};
        std::string file = "a.rtm";
    };
    const std::vector<Case> cases{
        {{"a.rtm", "-o", "x.wav"}, "", "x.wav"},
        {{"a.rtm", "--output=x.wav"}, "", "x.wav"},
        {{"a.rtm", "--output", "x.wav"}, "", "x.wav"},
        {{"-ox.wav", "a.rtm"}, "", "x.wav"},
        {{"a.rtm", "-o", "-"}, "", "-"},  // standard output
        {{"-o", "x.wav", "--", "-odd.rtm"}, "", "x.wav", "-odd.rtm"},
        {{"a.rtm", "--loops"}, "--loops needs a value"},
        {{"a.rtm", "-o"}, "--output needs a value"},
        {{"a.rtm", "--bogus"}, "unknown option \"--bogus\""},
        {{"a.rtm", "--bogus=3"}, "unknown option \"--bogus=3\""},
        {{"a.rtm", "b.rtm"}, "one word too many: \"b.rtm\""},
        {{"a.rtm", "--", "-b.rtm"}, "one word too many: \"-b.rtm\""},
        {{"a.rtm", "-o", "x.wav", "--output=y.wav"}, "--output is given more than once"},
        {{"a.rtm", "--midi", "--wave"}, "--midi and --wave exclude each other"},
        {{"a.rtm", "--midi=no"}, "--midi takes no value"},
        {{"a.rtm", "--wave=maybe"}, "--wave takes no value"},
        {{"a.rtm", "--wave", "--midi"}, "--midi and --wave exclude each other"},
    };
    for (const Case& c : cases) {
        const auto parsed = parseWords(c.words);
        const std::string said = c.words.back().data();
        if (c.problem.empty()) {
            ASSERT_TRUE(parsed) << said << ": " << parsed.error().message;
            EXPECT_EQ(parsed->output, c.output) << said;
            EXPECT_EQ(parsed->file, c.file) << said;
        } else {
            ASSERT_FALSE(parsed) << said;
            EXPECT_NE(parsed.error().message.find(c.problem), std::string::npos)
                << said << ": " << parsed.error().message;
            EXPECT_EQ(parsed.error().message.find('\n'), std::string::npos);
        }
    }
    // A repeatable option keeps each value, and never swallows the word after it.
    const auto maps = parseWords({"--map", "SD=a", "a.rtm", "--map=ST="});
    ASSERT_TRUE(maps) << maps.error().message;
    EXPECT_EQ(maps->maps, (std::vector<std::string>{"SD=a", "ST="}));
    EXPECT_EQ(maps->file, "a.rtm");
}

TEST(CommandOptions, SecondsNameTheLimitThatWasMissed)
{
    struct Case {
        std::string_view text;
        std::string problem;
    };
    const Case cases[] = {
        {"1e12", "at most 86400"}, {"1e400", "at most 86400"}, {"86400.5", "at most 86400"},
        {"0", "above 0"},          {"-3", "above 0"},          {"ten", "above 0"},
        {"nan", "above 0"},        {"2x", "above 0"},
    };
    for (const Case& c : cases) {
        const auto seconds = parseSeconds(c.text, 86400.0);
        ASSERT_FALSE(seconds) << c.text;
        EXPECT_NE(seconds.error().message.find(c.problem), std::string::npos)
            << c.text << ": " << seconds.error().message;
    }
    EXPECT_EQ(parseSeconds("86400", 86400.0).value(), 86400.0);
    EXPECT_EQ(parseSeconds("0.5", 86400.0).value(), 0.5);
}

TEST(PlayCommand, RefusesMidiAndWaveTogetherBeforeOpeningAnything)
{
    const app::Settings settings;
    for (const std::vector<std::string_view>& words : std::vector<std::vector<std::string_view>>{
             {"x.rtm", "--midi", "--wave"}, {"x.rtm", "--seconds=1e12"}, {"x.rtm", "--seconds"}}) {
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(runPlay(words, settings, out, err), 2) << words.back();
        EXPECT_NE(err.str().find("usage: taktwerk play"), std::string::npos) << err.str();
        EXPECT_EQ(err.str().find("taktwerk play: "), 0u) << err.str();
    }
}

}  // namespace
}  // namespace taktwerk::cli
