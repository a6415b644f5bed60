// The front door: which arguments open the window, and help and version, which must answer on
// standard output without touching a single file or folder.

#include "cli/Cli.h"

#include "rhythms/TempFolder.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace taktwerk::cli {
namespace {

using testing::TempFolder;

// The words as main() hands them over: mutable C strings.
class Args {
public:
    Args(std::initializer_list<std::string> words) : words_(words)
    {
        for (std::string& word : words_)
            pointers_.push_back(word.data());
    }
    std::span<char* const> span() const { return pointers_; }

private:
    std::vector<std::string> words_;
    std::vector<char*> pointers_;
};

TEST(Cli, TellsTheWindowsArgumentsFromCommandsHelpAndVersion)
{
    struct Case {
        Args args;
        bool window;
    };
    const Case cases[] = {
        {{}, true},
        {{"--beginner"}, true},
        {{"--screenshot", "out.png", "--beginner"}, true},
        {{"Rock.rtm"}, true},
        {{"ROCK.RTM"}, true},
        {{"./Rock"}, true},
        {{"/home/anna/My Rhythms/Samba"}, true},
        {{"--", "-odd.rtm"}, true},
        {{"--", "--help"}, true},  // a file of that name, after the end of the options
        {{"--bogus"}, true},       // the window's parser names it
        {{"render", "Rock.rtm", "-o", "rock.wav"}, false},
        {{"make-kit"}, false},
        {{"help"}, false},
        {{"--help"}, false},
        {{"-h"}, false},
        {{"--version"}, false},
        {{"--beginner", "--help"}, false},
        {{"Rock.rtm", "--version"}, false},
        {{"rendr"}, false},  // a mistyped command, not a file
        {{".rtm"}, false},
    };
    for (const Case& c : cases) {
        std::string words;
        for (const char* word : c.args.span())
            words += std::string(word) + " ";
        EXPECT_EQ(opensWindow(c.args.span()), c.window) << words;
    }
}

class CliRun : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("TAKTWERK_HOME", home_.path().c_str(), 1); }
    void TearDown() override { ::unsetenv("TAKTWERK_HOME"); }

    struct Result {
        int code;
        std::string out;
        std::string err;
    };
    static Result run(const Args& args)
    {
        std::ostringstream out;
        std::ostringstream err;
        std::streambuf* const oldOut = std::cout.rdbuf(out.rdbuf());
        std::streambuf* const oldErr = std::cerr.rdbuf(err.rdbuf());
        const int code = cli::run(args.span());
        std::cout.rdbuf(oldOut);
        std::cerr.rdbuf(oldErr);
        return {code, out.str(), err.str()};
    }

    TempFolder home_;
};

TEST_F(CliRun, HelpAnswersOnStandardOutputAndTouchesNothing)
{
    const std::vector<std::string> everything = {"info",       "render",   "export-midi",
                                                 "play",       "make-kit", "--screenshot",
                                                 "--beginner", "--version"};
    struct Case {
        Args args;
        std::vector<std::string> shows;
    };
    const Case cases[] = {
        {{"--help"}, everything},
        {{"-h"}, everything},
        {{"help"}, everything},
        {{"help", "nothing-such"}, everything},
        {{"--beginner", "--help"}, everything},
        {{"help", "render"}, {"usage: taktwerk render FILE.rtm -o OUT.wav", "--float"}},
        // The commands that create folders and render the default kit when they run.
        {{"render", "--help"}, {"usage: taktwerk render", "--rate HZ"}},
        {{"render", "Rock.rtm", "-o", "x.wav", "-h"}, {"usage: taktwerk render"}},
        {{"play", "--help"}, {"usage: taktwerk play", "--wave"}},
        {{"make-kit", "--help"}, {"usage: taktwerk make-kit", "--soundfont FILE"}},
        {{"info", "--help"}, {"usage: taktwerk info", "--json"}},
        {{"export-midi", "--help"}, {"usage: taktwerk export-midi", "--loops N"}},
        {{"import-kit", "--help"}, {"usage: taktwerk import-kit SOURCE", "--map FILE=INSTRUMENT"}},
        {{"--version"}, {std::string("taktwerk ") + TAKTWERK_VERSION + "\n"}},
        {{"play", "x.rtm", "--version"}, {std::string("taktwerk ") + TAKTWERK_VERSION + "\n"}},
    };
    for (const Case& c : cases) {
        const Result result = run(c.args);
        const std::string first = c.args.span().front();
        EXPECT_EQ(result.code, 0) << first;
        EXPECT_EQ(result.err, "") << first;
        for (const std::string& text : c.shows)
            EXPECT_NE(result.out.find(text), std::string::npos) << first << ": " << text;
    }
    EXPECT_TRUE(std::filesystem::is_empty(home_.path()));
}

TEST_F(CliRun, AnUnknownCommandIsRefusedWithExitTwo)
{
    const Result result = run({"rendr", "Rock.rtm"});
    EXPECT_EQ(result.code, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("unknown command \"rendr\""), std::string::npos) << result.err;
    EXPECT_TRUE(std::filesystem::is_empty(home_.path()));
}

}  // namespace
}  // namespace taktwerk::cli
