// Importing kits as sample sets: every layout the readers know, end to end (the fourteen
// files, their format, kit.ini, the Default set's stand-ins), and everything that must fail
// cleanly: sets that exist, names and links that leave their folder, broken samples, and
// archives that are too big, too many or hostile.

#include "kits/KitImport.h"

#include "kits/KitFixtures.h"
#include "kits/KitIni.h"
#include "rhythms/TempFolder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <set>

namespace taktwerk::kits {
namespace {

using testing::readSample;
using testing::writeSample;
using testing::writeText;

// Every sample is a constant level of its own, exact in 16 bits, so a written file tells
// where it came from.
constexpr float kSoftKick = -0.25f;
constexpr float kLoudKick = 0.5f;
constexpr float kSnare = 0.375f;
constexpr float kHat = 0.125f;
constexpr float kDefault = 0.0625f;

constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
constexpr int kWav24 = SF_FORMAT_WAV | SF_FORMAT_PCM_24;

std::string currentXml(const std::string& prefix = "")
{
    return R"(<drumkit_info xmlns="http://www.hydrogen-music.org/drumkit"><name>Fab Kit</name>
<instrumentList>
<instrument><name>Kick</name><midiOutNote>36</midiOutNote><instrumentComponent>
 <layer><filename>)" +
           prefix + R"(kick-soft.flac</filename><min>0</min><max>0.5</max><gain>1</gain></layer>
 <layer><filename>)" +
           prefix + R"(kick-hard.wav</filename><min>0.5</min><max>1</max><gain>1</gain></layer>
</instrumentComponent></instrument>
<instrument><name>Snare</name><midiOutNote>38</midiOutNote><instrumentComponent>
 <layer><filename>)" +
           prefix + R"(snare.aiff</filename><min>0</min><max>1</max><gain>1</gain></layer>
</instrumentComponent></instrument>
<instrument><name>Hat</name><midiOutNote>42</midiOutNote><instrumentComponent>
 <layer><filename>)" +
           prefix + R"(hat.wav</filename><min>0</min><max>1</max><gain>1</gain></layer>
</instrumentComponent></instrument>
</instrumentList></drumkit_info>)";
}

constexpr std::string_view kLegacyXml = R"(<drumkit_info><name>Fab Kit</name><instrumentList>
<instrument><name>Kick</name><volume>1</volume>
 <layer><filename>kick-soft.flac</filename><min>0</min><max>0.5</max><gain>1</gain></layer>
 <layer><filename>kick-hard.wav</filename><min>0.5</min><max>1</max><gain>1</gain></layer>
</instrument>
<instrument><name>Snare</name><layer><filename>snare.aiff</filename></layer></instrument>
<instrument><name>Closed HH</name><layer><filename>hat.wav</filename></layer></instrument>
</instrumentList></drumkit_info>)";

constexpr std::string_view kBareXml = R"(<drumkit_info><name>Fab Kit</name><instrumentList>
<instrument><filename>kick-hard.wav</filename><name>Kick</name><volume>1</volume></instrument>
<instrument><filename>snare.aiff</filename><name>Snare</name><volume>1</volume></instrument>
<instrument><filename>hat.wav</filename><name>Closed HH</name><volume>1</volume></instrument>
</instrumentList></drumkit_info>)";

constexpr std::string_view kSfz = "<group> key=36\n"
                                  "<region> sample=kick-soft.flac hivel=63\n"
                                  "<region> sample=kick-hard.wav lovel=64\n"
                                  "<region> sample=snare.aiff key=38\n"
                                  "<region> sample=hat.wav key=42\n";

class KitImportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A Default set whose every file has one level: a stand-in shows as that level.
        for (std::string_view code : kSetFiles)
            writeSample(soundDir() / "Default" / (std::string(code) + ".wav"), kDefault);
    }

    std::filesystem::path soundDir() const { return folder_ / "Sound"; }

    // The samples of the fabricated kit, in three formats and two bit depths.
    void writeSamples(const std::filesystem::path& dir)
    {
        writeSample(dir / "kick-soft.flac", kSoftKick, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
        writeSample(dir / "kick-hard.wav", kLoudKick, kWav24, 2, 48000);
        writeSample(dir / "snare.aiff", kSnare, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
        writeSample(dir / "hat.wav", kHat);
    }

    core::Result<ImportReport> import(const std::filesystem::path& source, std::string name = {},
                                      bool force = false, ArchiveLimits limits = {})
    {
        ImportOptions options;
        options.source = source;
        options.soundDir = soundDir();
        options.name = std::move(name);
        options.force = force;
        options.archiveLimits = limits;
        return importKit(options);
    }

    // Only the sets themselves: no temporary folder outlives an import.
    std::vector<std::string> soundDirEntries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(soundDir()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    testing::TempFolder folder_;
};

TEST_F(KitImportTest, EveryLayoutBecomesASetOfFourteenPcmFilesWithItsLayers)
{
    struct Layout {
        const char* name;
        std::function<std::filesystem::path(const std::filesystem::path&)> make;
        std::size_t kickLayers;
        const char* kick = "Kick";  // SFZ names an instrument after its first sample
    };
    const std::vector<Layout> layouts{
        {"current",
         [&](const std::filesystem::path& dir) {
             writeSamples(dir);
             writeText(dir / "drumkit.xml", currentXml());
             return dir;
         },
         2},
        {"legacy",
         [&](const std::filesystem::path& dir) {
             writeSamples(dir);
             writeText(dir / "drumkit.xml", std::string(kLegacyXml));
             return dir / "drumkit.xml";
         },
         2},
        {"bare filename",
         [&](const std::filesystem::path& dir) {
             writeSamples(dir);
             writeText(dir / "drumkit.xml", std::string(kBareXml));
             return dir;
         },
         1},
        {"h2drumkit",
         [&](const std::filesystem::path& dir) {
             writeSamples(dir / "src");
             std::vector<testing::ArchiveEntry> entries{{"Fab Kit/", "", true},
                                                        {"Fab Kit/drumkit.xml", currentXml()}};
             for (const char* file : {"kick-soft.flac", "kick-hard.wav", "snare.aiff", "hat.wav"})
                 entries.push_back(
                     {std::string("Fab Kit/") + file, testing::fileBytes(dir / "src" / file)});
             testing::writeArchive(dir / "Fab Kit.h2drumkit", entries);
             return dir / "Fab Kit.h2drumkit";
         },
         2},
        {"sfz",
         [&](const std::filesystem::path& dir) {
             writeSamples(dir);
             writeText(dir / "Fab Kit.sfz", std::string(kSfz));
             return dir / "Fab Kit.sfz";
         },
         2, "kick-soft"},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const auto kitDir = folder_ / "kits" / layout.name;
        const auto report = import(layout.make(kitDir), "", true);
        ASSERT_TRUE(report) << report.error().message << " " << report.error().detail;
        EXPECT_EQ(report->setName, "Fab Kit");
        const auto set = soundDir() / "Fab Kit";

        // The fourteen, all plain PCM WAV; the kick's loudest layer is its plain file and
        // keeps its 24 bits, two channels and 48 kHz, as nothing is resampled.
        for (std::string_view code : kSetFiles) {
            const auto sample = readSample(set / (std::string(code) + ".wav"));
            EXPECT_EQ(sample.info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_WAV) << code;
            const int bits = sample.info.format & SF_FORMAT_SUBMASK;
            EXPECT_TRUE(bits == SF_FORMAT_PCM_16 || bits == SF_FORMAT_PCM_24) << code;
        }
        const auto kick = readSample(set / "BD.wav");
        EXPECT_EQ(kick.first(), kLoudKick);
        EXPECT_EQ(kick.info.format, kWav24);
        EXPECT_EQ(kick.info.channels, 2);
        EXPECT_EQ(kick.info.samplerate, 48000);
        EXPECT_EQ(readSample(set / "SD.wav").first(), kSnare);
        EXPECT_EQ(readSample(set / "SD.wav").info.format, kWav16);
        EXPECT_EQ(readSample(set / "HH.wav").first(), kHat);
        EXPECT_EQ(readSample(set / "CC.wav").first(), kDefault);  // the kit has no crash

        const auto ini = readKitIni(set);
        ASSERT_TRUE(ini);
        const KitIniEntry* bd = ini->entry("BD");
        if (layout.kickLayers == 1) {
            EXPECT_EQ(bd, nullptr);  // one layer plays as the plain file always did
        } else {
            ASSERT_NE(bd, nullptr);
            ASSERT_EQ(bd->layers.size(), 2u);
            EXPECT_EQ(bd->layers[0].file, "BD-1.wav");
            EXPECT_EQ(bd->layers[0].highVelocity, 63);
            EXPECT_EQ(bd->layers[1].file, "BD.wav");
            EXPECT_EQ(readSample(set / "BD-1.wav").first(), kSoftKick);
        }
        ASSERT_EQ(report->files.size(), kSetFiles.size());
        EXPECT_EQ(report->files[0].instrument, layout.kick);
        EXPECT_EQ(report->files[0].layers, static_cast<int>(layout.kickLayers));
        EXPECT_TRUE(report->files[9].instrument.empty());  // CC from the Default set
        EXPECT_FALSE(report->files[9].missing);
    }
    EXPECT_EQ(soundDirEntries(), (std::vector<std::string>{"Default", "Fab Kit"}));
}

TEST_F(KitImportTest, AnExistingSetIsReplacedOnlyWhenAskedTo)
{
    writeSamples(folder_ / "kit");
    writeText(folder_ / "kit" / "drumkit.xml", currentXml());
    writeText(soundDir() / "fab kit" / "mine.wav", "the user's own");
    const auto refused = import(folder_ / "kit");
    ASSERT_FALSE(refused);  // the same name in other letters is the same set
    EXPECT_EQ(refused.error().message, "The sample set \"fab kit\" exists already.");
    EXPECT_EQ(refused.error().detail, kSetExists);
    EXPECT_TRUE(std::filesystem::exists(soundDir() / "fab kit" / "mine.wav"));

    ASSERT_TRUE(import(folder_ / "kit", "", true));
    EXPECT_EQ(soundDirEntries(), (std::vector<std::string>{"Default", "Fab Kit"}));
    ASSERT_TRUE(import(folder_ / "kit", "Other Name"));
    EXPECT_TRUE(std::filesystem::exists(soundDir() / "Other Name" / "BD.wav"));
    for (const char* bad : {"../Escape", "a/b", ".", "..", " padded", "Кит"})
        EXPECT_FALSE(import(folder_ / "kit", bad, true)) << bad;
    EXPECT_EQ(soundDirEntries(), (std::vector<std::string>{"Default", "Fab Kit", "Other Name"}));
}

TEST_F(KitImportTest, MissingBrokenAndEscapingSamplesAreLeftOutAndReported)
{
    const auto kit = folder_ / "kit";
    writeSamples(kit);
    std::filesystem::remove(kit / "kick-hard.wav");       // the loudest layer
    writeText(kit / "snare.aiff", "FORM, but no audio");  // unreadable
    writeText(folder_ / "secret.wav", "outside the kit");
    std::filesystem::remove(kit / "hat.wav");
    std::filesystem::create_symlink(folder_ / "secret.wav", kit / "hat.wav");  // leads outside
    writeText(kit / "drumkit.xml", currentXml());
    const auto report = import(kit);
    ASSERT_TRUE(report);
    const auto set = soundDir() / "Fab Kit";
    // The soft layer is all the kick has left, so it is the kick's file now.
    EXPECT_EQ(readSample(set / "BD.wav").first(), kSoftKick);
    EXPECT_EQ(report->files[0].layers, 1);
    EXPECT_EQ(readSample(set / "SD.wav").first(), kDefault);
    EXPECT_EQ(readSample(set / "HH.wav").first(), kDefault);
    EXPECT_EQ(report->notes.size(), 3u);
    EXPECT_FALSE(std::filesystem::exists(set / "BD-1.wav"));
}

// An SFZ file reaches for samples outside its folder in every way a path can: each such
// region is refused with a note naming it, the others import, and no byte of the outside file
// ends up in the set.
TEST_F(KitImportTest, SfzRegionsReachingOutsideTheFileFolderAreRefusedOneByOne)
{
    constexpr float kSecret = 0.875f;
    const auto outside = folder_ / "outside";
    writeSample(outside / "secret.wav", kSecret);
    const auto kit = folder_ / "kit";
    writeSamples(kit);
    std::filesystem::create_symlink(outside / "secret.wav", kit / "link.wav");
    std::filesystem::create_symlink(outside, kit / "linked");
    const std::string absolute = (outside / "secret.wav").string();
    struct Hostile {
        int key;
        std::string path;  // as the note names it
        std::string text;  // the region as the file has it
    };
    const std::vector<Hostile> hostile{
        {36, "../outside/secret.wav", "<region> key=36 sample=../outside/secret.wav"},
        {37, absolute, "<region> key=37 sample=" + absolute},
        {39, "..\\outside\\secret.wav", "<region> key=39 sample=..\\outside\\secret.wav"},
        {41, "C:\\secret.wav", "<region> key=41 sample=C:\\secret.wav"},
        {42, "link.wav", "<region> key=42 sample=link.wav"},
        {46, "linked/secret.wav", "<region> key=46 sample=linked/secret.wav"},
        {49, "../outside/secret.wav",
         "<control> default_path=../outside/\n<region> key=49 sample=secret.wav\n"
         "<control> default_path="},
    };
    writeSample(kit / "ride.wav", kHat);
    std::string sfz = "<region> key=38 sample=snare.aiff\n<region> key=51 sample=ride.wav\n";
    for (const Hostile& region : hostile)
        sfz += region.text + "\n";
    writeText(kit / "Reach.sfz", sfz);

    const auto report = import(kit / "Reach.sfz");
    ASSERT_TRUE(report) << report.error().message;
    for (const Hostile& region : hostile) {
        const bool named =
            std::any_of(report->notes.begin(), report->notes.end(), [&](const std::string& note) {
                return note.find(region.path) != std::string::npos &&
                       note.find("refused") != std::string::npos;
            });
        EXPECT_TRUE(named) << region.key << " " << region.path;
    }
    EXPECT_EQ(readSample(report->setDir / "SD.wav").first(), kSnare);
    EXPECT_EQ(readSample(report->setDir / "RC.wav").first(), kHat);
    for (const auto& entry : std::filesystem::directory_iterator(report->setDir)) {
        if (entry.path().extension() == ".wav") {
            EXPECT_NE(readSample(entry.path()).first(), kSecret) << entry.path();
        }
    }
}

// Choke groups reach kit.ini, also for drums of one layer, which otherwise need no entry.
TEST_F(KitImportTest, ChokeGroupsOfTheKitAreKeptInKitIni)
{
    const auto kit = folder_ / "kit";
    writeSamples(kit);
    std::string xml = currentXml();
    // Snare and hat share Hydrogen's mute group 3.
    for (const char* name : {"<name>Snare</name>", "<name>Hat</name>"})
        xml.replace(xml.find(name), std::string_view(name).size(),
                    std::string(name) + "<mute_group>3</mute_group>");
    xml.replace(xml.find("<name>Kick</name>"), 17, "<name>Kick</name><mute_group>-1</mute_group>");
    writeText(kit / "drumkit.xml", xml);
    writeText(kit / "Groups.sfz", "<region> key=36 sample=kick-soft.flac hivel=63 group=5\n"
                                  "<region> key=36 sample=kick-hard.wav lovel=64 group=5\n"
                                  "<region> key=38 sample=snare.aiff off_by=5\n"
                                  "<region> key=42 sample=hat.wav\n");
    struct Expected {
        std::string_view code;
        bool entry;
        int group;
        int chokedBy;
    };
    const std::vector<std::pair<std::filesystem::path, std::vector<Expected>>> cases{
        {kit, {{"BD", true, 0, 0}, {"SD", true, 4, 4}, {"HH", true, 4, 4}, {"CC", false, 0, 0}}},
        {kit / "Groups.sfz",
         {{"BD", true, 5, 0}, {"SD", true, 0, 5}, {"HH", false, 0, 0}, {"CC", false, 0, 0}}},
    };
    for (const auto& [source, expected] : cases) {
        SCOPED_TRACE(source.filename().string());
        const auto report = import(source, "Groups", true);
        ASSERT_TRUE(report) << report.error().message;
        const auto ini = readKitIni(report->setDir);
        ASSERT_TRUE(ini);
        for (const Expected& file : expected) {
            const KitIniEntry* entry = ini->entry(file.code);
            ASSERT_EQ(entry != nullptr, file.entry) << file.code;
            if (entry != nullptr) {
                EXPECT_EQ(entry->chokeGroup, file.group) << file.code;
                EXPECT_EQ(entry->chokedBy, file.chokedBy) << file.code;
            }
        }
    }
}

// A cancel (from the settings dialog's Cancel, on another thread) ends the import between two
// files: no new set, no staging folder, and a set it was to replace stays as it was.
TEST_F(KitImportTest, ACancelledImportLeavesEverythingAsItWas)
{
    writeSamples(folder_ / "kit");
    writeText(folder_ / "kit" / "drumkit.xml", currentXml());
    std::atomic<bool> cancel{true};
    ImportOptions options;
    options.source = folder_ / "kit";
    options.soundDir = soundDir();
    options.cancel = &cancel;
    auto report = importKit(options);
    ASSERT_FALSE(report);
    EXPECT_EQ(report.error().detail, kImportCancelled);
    EXPECT_EQ(soundDirEntries(), (std::vector<std::string>{"Default"}));

    writeText(soundDir() / "Fab Kit" / "mine.wav", "the user's own");
    options.force = true;
    EXPECT_FALSE(importKit(options));
    EXPECT_EQ(soundDirEntries(), (std::vector<std::string>{"Default", "Fab Kit"}));
    EXPECT_TRUE(std::filesystem::exists(soundDir() / "Fab Kit" / "mine.wav"));
    cancel = false;
    EXPECT_TRUE(importKit(options));
    EXPECT_FALSE(std::filesystem::exists(soundDir() / "Fab Kit" / "mine.wav"));
}

TEST_F(KitImportTest, ADrumNeitherTheKitNorTheDefaultSetHasIsReportedSilent)
{
    std::filesystem::remove(soundDir() / "Default" / "CB.wav");
    writeSamples(folder_ / "kit");
    writeText(folder_ / "kit" / "drumkit.xml", currentXml());
    const auto report = import(folder_ / "kit");
    ASSERT_TRUE(report);
    EXPECT_TRUE(report->files[8].missing);
    EXPECT_FALSE(std::filesystem::exists(report->setDir / "CB.wav"));
    const auto lines = describeMapping(*report);
    EXPECT_EQ(lines[0], "BD   Kick (2 layers)");
    EXPECT_EQ(lines[8].substr(0, 7), "CB   - ");
}

TEST_F(KitImportTest, HostileArchivesFailWithoutLeavingAnything)
{
    writeSamples(folder_ / "src");
    const std::string xml = currentXml();
    const std::string wav = testing::fileBytes(folder_ / "src" / "hat.wav");
    struct Case {
        const char* name;
        std::vector<testing::ArchiveEntry> entries;
        ArchiveLimits limits;
    };
    ArchiveLimits fewEntries;
    fewEntries.maxEntries = 3;
    ArchiveLimits smallFiles;
    smallFiles.maxFileBytes = 1000;
    ArchiveLimits smallTotal;
    smallTotal.maxTotalBytes = 5000;
    const std::vector<Case> cases{
        {"escape", {{"Kit/drumkit.xml", xml}, {"../../evil.wav", wav}}, {}},
        {"absolute", {{"Kit/drumkit.xml", xml}, {"/tmp/evil.wav", wav}}, {}},
        {"too many", {{"Kit/drumkit.xml", xml}, {"a", "1"}, {"b", "2"}, {"c", "3"}}, fewEntries},
        // Zeros pack to almost nothing: a bomb that only the unpacked size gives away.
        {"bomb",
         {{"Kit/drumkit.xml", xml}, {"Kit/zeros.wav", std::string(2000, '\0')}},
         smallFiles},
        {"bomb in all",
         {{"Kit/drumkit.xml", xml},
          {"Kit/a.wav", std::string(4000, '\0')},
          {"Kit/b.wav", std::string(4000, '\0')}},
         smallTotal},
        {"no kit", {{"readme.txt", "hello"}}, {}},
        {"duplicate", {{"Kit/drumkit.xml", xml}, {"Kit/drumkit.xml", xml}}, {}},
    };
    for (const Case& c : cases) {
        const auto archive = folder_ / (std::string(c.name) + ".h2drumkit");
        testing::writeArchive(archive, c.entries);
        EXPECT_FALSE(import(archive, "", false, c.limits)) << c.name;
    }
    writeText(folder_ / "garbage.h2drumkit", "not an archive at all");
    EXPECT_FALSE(import(folder_ / "garbage.h2drumkit"));
    EXPECT_EQ(soundDirEntries(), (std::vector<std::string>{"Default"}));
    EXPECT_FALSE(std::filesystem::exists(folder_.path().parent_path() / "evil.wav"));
}

TEST_F(KitImportTest, LinksInsideAnArchiveAreNotFollowed)
{
    writeSamples(folder_ / "src");
    testing::writeArchive(folder_ / "links.h2drumkit",
                          {{"Kit/drumkit.xml", currentXml()},
                           {"Kit/kick-hard.wav", testing::fileBytes(folder_ / "src/kick-hard.wav")},
                           {"Kit/hat.wav", "", false, "/etc/passwd"},
                           {"Kit/snare.aiff", "", false, "../../../outside.aiff"}});
    const auto report = import(folder_ / "links.h2drumkit");
    ASSERT_TRUE(report);
    EXPECT_EQ(readSample(report->setDir / "BD.wav").first(), kLoudKick);
    EXPECT_EQ(readSample(report->setDir / "HH.wav").first(), kDefault);
    EXPECT_EQ(readSample(report->setDir / "SD.wav").first(), kDefault);
}

TEST_F(KitImportTest, WhatAKilledImportLeftIsClearedOnceStale)
{
    const auto stale = soundDir() / ".taktwerk-import-abc123";
    const auto fresh = soundDir() / ".taktwerk-old-def456";  // another import, still at work
    const auto mine = soundDir() / ".taktwerk-import-mine";
    for (const auto& folder : {stale, fresh, mine})
        writeText(folder / "BD.wav", "half written");
    const auto dayAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24);
    std::filesystem::last_write_time(stale, dayAgo);
    std::filesystem::last_write_time(mine, dayAgo);
    std::filesystem::last_write_time(mine / "BD.wav", dayAgo);
    writeSamples(folder_ / "kit");
    writeText(folder_ / "kit" / "drumkit.xml", currentXml());
    ASSERT_TRUE(import(folder_ / "kit"));
    EXPECT_EQ(soundDirEntries(),
              (std::vector<std::string>{".taktwerk-old-def456", "Default", "Fab Kit"}));
}

TEST_F(KitImportTest, UnknownSourcesAreRefused)
{
    writeText(folder_ / "kit.txt", "drums");
    for (const auto& source : {folder_ / "kit.txt", folder_ / "missing", folder_.path()})
        EXPECT_FALSE(import(source)) << source;
}

// Debian's kits (hydrogen-data, hydrogen-drumkits): every one imports, and every set has a
// bass drum, snare, hi-hat and crash, from the kit wherever it has one.
TEST_F(KitImportTest, EverySystemHydrogenKitImports)
{
    const std::filesystem::path system = "/usr/share/hydrogen/data/drumkits";
    std::error_code error;
    if (!std::filesystem::is_directory(system, error))
        GTEST_SKIP() << "no Hydrogen kits installed (hydrogen-data)";
    // Kits of hand percussion or electronics that lack one of the four.
    const std::set<std::string> lacking{"ElectricEmpireKit", "Gimme A Hand 1.0", "HardElectro1",
                                        "VariBreaks", "circAfrique v4"};
    int imported = 0;
    for (const auto& kit : std::filesystem::directory_iterator(system)) {
        const std::string name = kit.path().filename().string();
        SCOPED_TRACE(name);
        const auto report = import(kit.path(), "Imported", true);
        ASSERT_TRUE(report) << report.error().message << " " << report.error().detail;
        ++imported;
        for (const std::size_t file : {0u, 1u, 4u, 9u}) {  // BD, SD, HH, CC
            EXPECT_FALSE(report->files[file].missing) << kSetFiles[file];
            EXPECT_GT(
                readSample(report->setDir / (std::string(kSetFiles[file]) + ".wav")).info.frames, 0)
                << kSetFiles[file];
            if (!lacking.contains(name)) {
                EXPECT_FALSE(report->files[file].instrument.empty()) << kSetFiles[file];
            }
        }
    }
    EXPECT_GT(imported, 0);
}

}  // namespace
}  // namespace taktwerk::kits
