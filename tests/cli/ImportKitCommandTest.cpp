// `taktwerk import-kit` as a user types it: options and their mistakes, the mapping it prints,
// and the set it leaves for `render`.

#include "cli/ImportKitCommand.h"

#include "rhythms/TempFolder.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sstream>

namespace taktwerk::cli {
namespace {

using testing::TempFolder;

struct CommandRun {
    int code;
    std::string out;
    std::string err;
};

CommandRun importKit(const std::vector<std::string>& words, const std::filesystem::path& soundDir)
{
    const std::vector<std::string_view> args(words.begin(), words.end());
    std::ostringstream out;
    std::ostringstream err;
    const int code = runImportKit(args, soundDir, out, err);
    return {code, out.str(), err.str()};
}

void writeSample(const std::filesystem::path& file, float level)
{
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
    const std::vector<float> data(100, level);
    sf_writef_float(out, data.data(), static_cast<sf_count_t>(data.size()));
    sf_close(out);
}

TEST(ImportKitCommand, OptionsAndTheirMistakes)
{
    struct Case {
        std::vector<std::string_view> words;
        bool ok;
    };
    const std::vector<Case> cases{
        {{"kit.sfz"}, true},
        {{"kit.sfz", "--name", "Mine", "--force", "--map", "SD=Snare 2", "--map", "ST="}, true},
        {{}, false},
        {{"--force"}, false},
        {{"a.sfz", "b.sfz"}, false},
        {{"kit.sfz", "--name"}, false},
        {{"kit.sfz", "--name", ""}, false},
        {{"kit.sfz", "--map"}, false},
        {{"kit.sfz", "--map", "SD"}, false},
        {{"kit.sfz", "--map", "=Snare"}, false},
        {{"kit.sfz", "--bogus"}, false},
    };
    for (const Case& c : cases) {
        std::string problem;
        const auto parsed = parseImportKitArgs(c.words, problem);
        EXPECT_EQ(parsed.has_value(), c.ok) << (c.words.empty() ? "" : c.words.back());
        EXPECT_EQ(problem.empty(), c.ok) << problem;
    }
    std::string problem;
    const std::vector<std::string_view> words{"kit.sfz", "--map", "SD=Snare = 2"};
    const auto parsed = parseImportKitArgs(words, problem);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->overrides[0].file, "SD");
    EXPECT_EQ(parsed->overrides[0].instrument, "Snare = 2");
}

TEST(ImportKitCommand, PrintsTheMappingAndFailsCleanly)
{
    const TempFolder folder;
    const auto kit = folder / "kit";
    std::filesystem::create_directories(kit);
    writeSample(kit / "kick.wav", 0.5f);
    writeSample(kit / "snare.wav", 0.25f);
    testing::writeBytes(kit / "Drums.sfz", "<region> sample=kick.wav key=36\n"
                                           "<region> sample=snare.wav key=38 pitch=3\n");
    const auto soundDir = folder / "Sound";

    CommandRun run = importKit({(kit / "Drums.sfz").string(), "--map", "ST=snare"}, soundDir);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("mapped by its General MIDI notes"), std::string::npos);
    EXPECT_NE(run.out.find("  BD   kick\n"), std::string::npos);
    EXPECT_NE(run.out.find("  ST   snare\n"), std::string::npos);
    EXPECT_NE(run.out.find("  CC   - (silent"), std::string::npos);  // no Default set here
    EXPECT_NE(run.out.find("note: ignored: pitch"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(soundDir / "Drums" / "BD.wav"));

    // Again without --force: refused, and the set is as it was.
    run = importKit({(kit / "Drums.sfz").string()}, soundDir);
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("--force"), std::string::npos);
    run = importKit({(kit / "Drums.sfz").string(), "--map", "XX=kick"}, soundDir);
    EXPECT_EQ(run.code, 1);
    run = importKit({(kit / "Drums.sfz").string(), "--name", "../Escape"}, soundDir);
    EXPECT_EQ(run.code, 1);
    EXPECT_FALSE(std::filesystem::exists(folder / "Escape"));
    EXPECT_EQ(importKit({"--what"}, soundDir).code, 2);
}

}  // namespace
}  // namespace taktwerk::cli
