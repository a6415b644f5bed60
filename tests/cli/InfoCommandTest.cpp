#include "cli/InfoCommand.h"

#include "rhythms/TempFolder.h"

#include <gtest/gtest.h>
#include <sstream>
#include <vector>

namespace taktwerk::cli {
namespace {

using testing::TempFolder;
using testing::writeBytes;

struct InfoRun {
    int code;
    std::string out;
    std::string err;
};

InfoRun info(std::vector<std::string_view> args)
{
    std::ostringstream out;
    std::ostringstream err;
    const int code = runInfo(args, out, err);
    return {code, out.str(), err.str()};
}

TEST(InfoCommand, PrintsTheLoadedRhythmAsOneJsonObject)
{
    TempFolder folder;
    const std::string file = (folder / "Beat.rtm").string();
    // Written by the Windows program (Windows-1252), with a hand-made name and values that a
    // load mends: tempo above the range, a loop length of another interval.
    writeBytes(folder / "Beat.rtm", "[Settings]\r\nName=Sa\"g\\ Gr\xFC\xDF"
                                    "e\ttab\r\n"
                                    "BPM=500\r\nIntv=3\r\nBeats=32\r\nSound=Jazz\r\n"
                                    "[RhythmData]\r\nBD=X___X\r\nT3=______________________"
                                    "_________X\r\n"
                                    "[Mute]\r\nSD=1\r\n[Multi]\r\nRide=2\r\nTom2=Kessel\r\n");
    const InfoRun run = info({file, "--json"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.err, "");
    const std::string empty = "\"________________________________\"";
    EXPECT_EQ(run.out, "{\"name\": \"Sa\\\"g\\\\ Grüße\\ttab\", \"bpm\": 450, \"interval\": 3, "
                       "\"beats\": 24, \"sound\": \"Jazz\", \"snare\": 0, \"ride\": 2, "
                       "\"toms\": [\"Tom 1\", \"Kessel\", \"Tom 3\"], "
                       "\"tracks\": {\"BD\": \"X___X___________________________\", \"SD\": " +
                           empty + ", \"HH\": " + empty + ", \"OH\": " + empty +
                           ", \"RC\": " + empty + ", \"CC\": " + empty + ", \"T1\": " + empty +
                           ", \"T2\": " + empty +
                           ", \"T3\": \"_______________________________X\"}, "
                           "\"mute\": {\"BD\": false, \"SD\": true, \"HH\": false, \"OH\": false, "
                           "\"RC\": false, \"CC\": false, \"T1\": false, \"T2\": false, "
                           "\"T3\": false}}\n");
}

TEST(InfoCommand, MissingFileIsRefusedAndAFileWithoutARhythmSaysSo)
{
    TempFolder folder;
    const std::string missing = (folder / "none.rtm").string();
    InfoRun run = info({"--json", missing});
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "taktwerk info: Die Datei \"" + missing + "\" gibt es nicht.\n");

    // A sound file named .rtm loads as the window loads it, the default rhythm, and says so.
    writeBytes(folder / "sound.rtm", std::string("RIFF\x24\0\0\0WAVEfmt ", 16));
    run = info({(folder / "sound.rtm").string(), "--json"});
    EXPECT_EQ(run.code, 0);
    EXPECT_TRUE(run.out.starts_with("{\"name\": \"\", \"bpm\": 120,")) << run.out;
    EXPECT_NE(run.err.find("holds no rhythm"), std::string::npos) << run.err;
}

TEST(InfoCommand, UnreadablePathOrBadArgumentsFailWithOneLine)
{
    TempFolder folder;
    for (const auto& args : std::vector<std::vector<std::string_view>>{
             {folder.path().c_str()}, {}, {"--json"}, {"a.rtm", "b.rtm"}, {"a.rtm", "--xml"}}) {
        const InfoRun run = info(args);
        EXPECT_NE(run.code, 0);
        EXPECT_EQ(run.out, "");
        ASSERT_FALSE(run.err.empty());
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    }
}

TEST(InfoCommand, JsonStringsAreAlwaysValidUtf8)
{
    EXPECT_EQ(jsonString("a\x01"
                         "b\x1F"),
              "\"a\\u0001b\\u001f\"");
    EXPECT_EQ(jsonString("\xFF ok \xC3"), "\"\xEF\xBF\xBD ok \xEF\xBF\xBD\"");
    EXPECT_EQ(jsonString("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");  // surrogate
    EXPECT_EQ(jsonString("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");  // overlong "/"
    EXPECT_EQ(jsonString("€ \xF0\x9F\xA5\x81"), "\"€ \xF0\x9F\xA5\x81\"");
}

}  // namespace
}  // namespace taktwerk::cli
