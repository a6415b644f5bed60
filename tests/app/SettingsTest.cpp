#include "app/Settings.h"

#include "rhythms/TempFolder.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace taktwerk::app {
namespace {

namespace fs = std::filesystem;

TEST(SettingsPaths, APortableCopyKeepsEverythingBesideItself)
{
    struct Case {
        const char* label;
        Environment environment;
        const char* appDir;
        const char* exeName;
        const char* iniFile;
        const char* rhythmDir;
        const char* soundDir;
    };
    const Case cases[] = {
        {"portable",
         {"/home/anna/drums/taktwerk", {}, {}, {}, "/home/anna"},
         "/home/anna/drums/",
         "taktwerk",
         "/home/anna/drums/taktwerk.ini",
         "/home/anna/drums/Rhythms/",
         "/home/anna/drums/Sound/"},
        {"renamed copy",
         {"/srv/kit/drums", {}, {}, {}, "/home/anna"},
         "/srv/kit/",
         "drums",
         "/srv/kit/drums.ini",
         "/srv/kit/Rhythms/",
         "/srv/kit/Sound/"},
        {"windows name",
         {"/srv/kit/Drums.EXE", {}, {}, {}, {}},
         "/srv/kit/",
         "Drums",
         "/srv/kit/Drums.ini",
         "/srv/kit/Rhythms/",
         "/srv/kit/Sound/"},
        {"dotted name",
         {"/srv/kit/drums-2.1", {}, {}, {}, {}},
         "/srv/kit/",
         "drums-2.1",
         "/srv/kit/drums-2.1.ini",
         "/srv/kit/Rhythms/",
         "/srv/kit/Sound/"},
        {"TAKTWERK_HOME",
         {"/usr/bin/taktwerk", "/tmp/kit", "/x/data", "/x/config", "/home/a"},
         "/tmp/kit/",
         "taktwerk",
         "/tmp/kit/taktwerk.ini",
         "/tmp/kit/Rhythms/",
         "/tmp/kit/Sound/"},
    };
    for (const auto& c : cases) {
        const Settings settings = InitPaths(c.environment);
        EXPECT_EQ(settings.AppDir, c.appDir) << c.label;
        EXPECT_EQ(settings.ExeName, c.exeName) << c.label;
        EXPECT_EQ(settings.IniFile, c.iniFile) << c.label;
        EXPECT_EQ(settings.RhythmDir, c.rhythmDir) << c.label;
        EXPECT_EQ(settings.SoundDir, c.soundDir) << c.label;
    }
}

// Everything below `folder`, for proving that nothing was written there.
std::vector<fs::path> contentsOf(const fs::path& folder)
{
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    return found;
}

TEST(SettingsPaths, AnInstallIsKnownByTheShareFolderBesideTheProgramWhereverItsPrefixIs)
{
    // "@" stands for the test's own root folder, so that no real prefix of this machine (a
    // Taktwerk installed under /usr) changes the answers.
    struct Case {
        const char* label;
        std::vector<const char*> folders;  // made below "@" first
        const char* file;                  // made below "@" when not null
        const char* executable;
        std::optional<std::string> taktwerkHome, xdgData, xdgConfig, home;
        const char* rhythmDir;
        const char* iniFile;
        const char* shippedDir;
    };
    const Case cases[] = {
        {"system prefix",
         {"usr/bin", "usr/share/taktwerk/Rhythms"},
         nullptr,
         "@/usr/bin/taktwerk",
         {},
         "/x/data",
         "/x/config",
         "/home/anna",
         "/x/data/taktwerk/Rhythms/",
         "/x/config/taktwerk/taktwerk.ini",
         "@/usr/share/taktwerk/"},
        {"user prefix, renamed program",
         {"home/.local/bin", "home/.local/share/taktwerk"},
         nullptr,
         "@/home/.local/bin/drums",
         {},
         {},
         {},
         "/home/anna",
         "/home/anna/.local/share/taktwerk/Rhythms/",
         "/home/anna/.config/taktwerk/taktwerk.ini",
         "@/home/.local/share/taktwerk/"},
        {"store path",
         {"nix/store/0abc-taktwerk-0.1.0/bin", "nix/store/0abc-taktwerk-0.1.0/share/taktwerk"},
         nullptr,
         "@/nix/store/0abc-taktwerk-0.1.0/bin/taktwerk",
         {},
         "data",
         "",
         "/home/anna",
         "/home/anna/.local/share/taktwerk/Rhythms/",
         "/home/anna/.config/taktwerk/taktwerk.ini",
         "@/nix/store/0abc-taktwerk-0.1.0/share/taktwerk/"},
        {"installed without any home: never the prefix",
         {"app/bin", "app/share/taktwerk"},
         nullptr,
         "@/app/bin/taktwerk",
         {},
         {},
         {},
         {},
         "/.local/share/taktwerk/Rhythms/",
         "/.config/taktwerk/taktwerk.ini",
         "@/app/share/taktwerk/"},
        {"bin without share is portable",
         {"opt/kit/bin"},
         nullptr,
         "@/opt/kit/bin/taktwerk",
         {},
         "/x/data",
         "/x/config",
         "/home/anna",
         "@/opt/kit/bin/Rhythms/",
         "@/opt/kit/bin/taktwerk.ini",
         "@/opt/kit/bin/share/taktwerk/"},
        {"another program's share",
         {"usr/bin", "usr/share/hydrogen"},
         nullptr,
         "@/usr/bin/taktwerk",
         {},
         {},
         {},
         "/home/anna",
         "@/usr/bin/Rhythms/",
         "@/usr/bin/taktwerk.ini",
         "@/usr/bin/share/taktwerk/"},
        {"share/taktwerk is a file",
         {"usr/bin", "usr/share"},
         "usr/share/taktwerk",
         "@/usr/bin/taktwerk",
         {},
         {},
         {},
         "/home/anna",
         "@/usr/bin/Rhythms/",
         "@/usr/bin/taktwerk.ini",
         "@/usr/bin/share/taktwerk/"},
        {"build tree: its mirror lies beside the program",
         {"build/share/taktwerk/Rhythms"},
         nullptr,
         "@/build/taktwerk",
         {},
         {},
         {},
         "/home/anna",
         "@/build/Rhythms/",
         "@/build/taktwerk.ini",
         "@/build/share/taktwerk/"},
        {"TAKTWERK_HOME over an install",
         {"usr/bin", "usr/share/taktwerk"},
         nullptr,
         "@/usr/bin/taktwerk",
         "/tmp/kit",
         "/x/data",
         "/x/config",
         "/home/anna",
         "/tmp/kit/Rhythms/",
         "/tmp/kit/taktwerk.ini",
         "@/usr/share/taktwerk/"},
    };
    for (const auto& c : cases) {
        const testing::TempFolder root;
        const auto at = [&](std::string text) {
            if (text.starts_with("@"))
                text = root.path().string() + text.substr(1);
            return fs::path(text);
        };
        for (const char* folder : c.folders)
            fs::create_directories(root / folder);
        if (c.file != nullptr)
            testing::writeBytes(root / c.file, "");
        const Settings settings =
            InitPaths({at(c.executable), c.taktwerkHome, c.xdgData, c.xdgConfig, c.home});
        EXPECT_EQ(settings.RhythmDir, at(c.rhythmDir)) << c.label;
        EXPECT_EQ(settings.SoundDir, at(c.rhythmDir).parent_path().parent_path() / "Sound" / "")
            << c.label;
        EXPECT_EQ(settings.IniFile, at(c.iniFile)) << c.label;
        EXPECT_EQ(settings.shippedDir, at(c.shippedDir)) << c.label;
    }
}

TEST(SettingsPaths, WithoutHomeTheUsersEntryNamesTheHomeFolder)
{
    const passwd* entry = ::getpwuid(::getuid());
    if (entry == nullptr || entry->pw_dir == nullptr || *entry->pw_dir == '\0')
        GTEST_SKIP() << "this user has no entry in the system";
    const char* home = std::getenv("HOME");
    const std::optional<std::string> saved = home ? std::optional<std::string>(home) : std::nullopt;
    for (const bool empty : {false, true}) {
        if (empty)
            ::setenv("HOME", "", 1);
        else
            ::unsetenv("HOME");
        EXPECT_EQ(processEnvironment().home, std::string(entry->pw_dir)) << empty;
    }
    if (saved)
        ::setenv("HOME", saved->c_str(), 1);
    else
        ::unsetenv("HOME");
}

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::path(::testing::TempDir()) / "settingsXXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        settings_ = InitPaths({folder_ / "drums", {}, {}, {}, {}});
    }
    void TearDown() override { fs::remove_all(folder_); }

    void put(const std::string& text) const
    {
        std::ofstream(settings_.IniFile, std::ios::binary) << text;
    }
    std::string bytes() const
    {
        std::ifstream in(settings_.IniFile, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path folder_;
    Settings settings_;
};

TEST_F(SettingsFile, WithoutAFileStartsWithDefaultsAndMakesTheFolders)
{
    LoadSettings(settings_);
    EXPECT_EQ(settings_.AppTitle, "Quorrel Taktwerk");
    EXPECT_EQ(settings_.SoundSet, "Default");
    EXPECT_EQ(settings_.SoundDevice, 1);
    EXPECT_EQ(settings_.ModeSetting, 0);
    EXPECT_EQ(settings_.ClickNote, 37);
    EXPECT_EQ(settings_.Tom1Sound, "Tom 1");
    EXPECT_EQ(settings_.Tom3Sound, "Tom 3");
    EXPECT_TRUE(fs::is_directory(folder_ / "Rhythms"));
    EXPECT_TRUE(fs::is_empty(folder_ / "Rhythms"));
    EXPECT_TRUE(fs::is_directory(folder_ / "Sound"));
    EXPECT_FALSE(fs::exists(settings_.IniFile));  // created by the first save only
}

TEST_F(SettingsFile, ReadsKeysWithTheProgramsRules)
{
    struct Case {
        const char* file;
        const char* soundSet;
        int device, mode, clickNote;
    };
    const Case cases[] = {
        {"[QUORREL TAKTWERK]\r\nsound=Rock\r\ndevice=2\r\nmode=1\r\nmidiclick=76\r\n", "Rock", 2, 1,
         76},
        {"[Quorrel Taktwerk]\r\nSound=\r\nDevice=\r\nMIDIClick=\r\n", "Default", 1, 0, 37},
        {"[Quorrel Taktwerk]\r\nDevice=abc\r\nMIDIClick=37abc\r\nMode= 1.5\r\n", "Default", 0, 2,
         37},
        {"[Quorrel Taktwerk]\r\nDevice=70000\r\nMIDIClick=-40000\r\nMode=2.5\r\n", "Default", 1, 2,
         37},
        {"[Other]\r\nSound=Rock\r\n", "Default", 1, 0, 37},
    };
    for (const auto& c : cases) {
        put(c.file);
        Settings settings = settings_;
        LoadSettings(settings);
        EXPECT_EQ(settings.SoundSet, c.soundSet) << c.file;
        EXPECT_EQ(settings.SoundDevice, c.device) << c.file;
        EXPECT_EQ(settings.ModeSetting, c.mode) << c.file;
        EXPECT_EQ(settings.ClickNote, c.clickNote) << c.file;
    }
}

TEST_F(SettingsFile, AGarbledVolumeNeverSilencesTheProgram)
{
    const struct {
        const char* value;
        int volume;
    } cases[] = {{"64", 64},   {"64.5", 64},   {"0", 0},     {"-5", 0},
                 {"250", 100}, {"70000", 100}, {"abc", 100}, {"", 100},
                 {" 12x", 12}, {"1e9", 100},   {"-1e9", 0}};
    for (const auto& c : cases) {
        put(std::string("[Quorrel Taktwerk]\r\nVolume=") + c.value + "\r\n");
        Settings settings = settings_;
        settings.Volume = 33;  // what a previous load held plays no part
        LoadSettings(settings);
        EXPECT_EQ(settings.Volume, c.volume) << c.value;
    }
    put("[Quorrel Taktwerk]\r\nMode=1\r\n");
    settings_.Volume = 45;
    ASSERT_TRUE(saveVolume(settings_));
    EXPECT_EQ(bytes(), "[Quorrel Taktwerk]\r\nMode=1\r\nVolume=45\r\n");
}

TEST_F(SettingsFile, OnlyAPlainZeroStopsTheQuestionAboutUnsavedChanges)
{
    const struct {
        const char* value;
        int ask;
    } cases[] = {{"0", 0},  {"0.0", 0}, {" 0", 0}, {"1", 1},     {"", 1},    {"abc", 1},
                 {"-0", 0}, {"2", 1},   {"-1", 1}, {"70000", 1}, {"1e9", 1}, {"nan", 1}};
    for (const auto& c : cases) {
        put(std::string("[Quorrel Taktwerk]\r\nAskToSave=") + c.value + "\r\n");
        Settings settings = settings_;
        settings.AskToSave = 0;  // what a previous load held plays no part
        LoadSettings(settings);
        EXPECT_EQ(settings.AskToSave, c.ask) << c.value;
    }
    put("[Other]\r\nAskToSave=0\r\n");
    LoadSettings(settings_);
    EXPECT_EQ(settings_.AskToSave, 1);
}

TEST_F(SettingsFile, OnlyAPlainZeroSilencesStepsAndTheEditingKeysAreOnlyWrittenOnceTurnedOff)
{
    const struct {
        const char* value;
        bool on;
    } cases[] = {{"0", false},  {"0.0", false}, {" 0", false}, {"1", true},  {"", true},
                 {"abc", true}, {"2", true},    {"-1", true},  {"1e9", true}};
    for (const auto& c : cases) {
        put(std::string("[Quorrel Taktwerk]\r\nHearSteps=") + c.value + "\r\n");
        Settings settings = settings_;
        settings.hearSteps = !c.on;  // what a previous load held plays no part
        LoadSettings(settings);
        EXPECT_EQ(settings.hearSteps, c.on) << c.value;
    }
    put("[Quorrel Taktwerk]\r\nDevice=1\r\n");
    LoadSettings(settings_);
    EXPECT_TRUE(settings_.hearSteps);
    ASSERT_TRUE(saveSoundSettings(settings_, false));
    EXPECT_EQ(bytes(), "[Quorrel Taktwerk]\r\nDevice=1\r\nMIDIClick=37\r\n")
        << "the old program's file, byte for byte";
    settings_.hearSteps = false;
    settings_.AskToSave = 0;
    ASSERT_TRUE(saveSoundSettings(settings_, false));
    LoadSettings(settings_);
    EXPECT_FALSE(settings_.hearSteps);
    EXPECT_EQ(settings_.AskToSave, 0);
    settings_.hearSteps = true;
    settings_.AskToSave = 1;
    ASSERT_TRUE(saveSoundSettings(settings_, false));
    EXPECT_EQ(bytes(),
              "[Quorrel Taktwerk]\r\nDevice=1\r\nMIDIClick=37\r\nAskToSave=1\r\nHearSteps=1\r\n");
}

TEST_F(SettingsFile, TheMidiClockAndTheTimebaseAreOnlyForAPlainOneAndOnlyWrittenOnceUsed)
{
    const struct {
        const char* key;
        bool Settings::*flag;
    } keys[] = {{"SendMIDIClock", &Settings::sendMidiClock},
                {"JackTimebase", &Settings::jackTimebase}};
    const struct {
        const char* value;
        bool on;
    } cases[] = {{"1", true},   {"1.0", true},  {" 1", true},   {"0", false},  {"2", false},
                 {"-1", false}, {"yes", false}, {"", false},    {"1e0", true}, {"0.99", false},
                 {"on", false}, {"1x", true},   {"\x01", false}};
    for (const auto& key : keys) {
        for (const auto& c : cases) {
            put(std::string("[Quorrel Taktwerk]\r\n") + key.key + "=" + c.value + "\r\n");
            Settings settings = settings_;
            settings.*key.flag = !c.on;  // what a previous load held plays no part
            LoadSettings(settings);
            EXPECT_EQ(settings.*key.flag, c.on) << key.key << "=" << c.value;
        }
        put("[Quorrel Taktwerk]\r\nDevice=1\r\n");
        LoadSettings(settings_);
        EXPECT_FALSE(settings_.*key.flag);
        ASSERT_TRUE(saveSoundSettings(settings_, false));
        EXPECT_EQ(bytes(), "[Quorrel Taktwerk]\r\nDevice=1\r\nMIDIClick=37\r\n")
            << "the old program's file, byte for byte";
        settings_.*key.flag = true;
        ASSERT_TRUE(saveSoundSettings(settings_, false));
        Settings reread = settings_;
        reread.*key.flag = false;
        LoadSettings(reread);
        EXPECT_TRUE(reread.*key.flag) << key.key;
        settings_.*key.flag = false;
        ASSERT_TRUE(saveSoundSettings(settings_, false));
        EXPECT_EQ(bytes(), std::string("[Quorrel Taktwerk]\r\nDevice=1\r\nMIDIClick=37\r\n") +
                               key.key + "=0\r\n");
    }
}

TEST_F(SettingsFile, OnlyMidiOrJackFollowAndTheKeyIsOnlyWrittenOnceUsed)
{
    using playback::SyncSource;
    const struct {
        const char* value;
        SyncSource sync;
    } cases[] = {{"MIDI", SyncSource::MidiClock},
                 {"midi", SyncSource::MidiClock},
                 {" Midi ", SyncSource::MidiClock},
                 {"Internal", SyncSource::Internal},
                 {"", SyncSource::Internal},
                 {"1", SyncSource::Internal},
                 {"MIDI clock", SyncSource::Internal},
                 {"JACK", SyncSource::JackTransport},
                 {"jack", SyncSource::JackTransport},
                 {" Jack ", SyncSource::JackTransport},
                 {"JACK transport", SyncSource::Internal},
                 {"JACKJACK", SyncSource::Internal},
                 {"JAC", SyncSource::Internal},
                 {"JACK\x01", SyncSource::Internal},
                 {"\xef\xbb\xbfJACK", SyncSource::Internal},
                 {"MIDI\x01", SyncSource::Internal},
                 {"M\xc3\x8f"
                  "DI",
                  SyncSource::Internal}};
    for (const auto& c : cases) {
        put(std::string("[Quorrel Taktwerk]\r\nSyncSource=") + c.value + "\r\n");
        Settings settings = settings_;
        settings.sync =
            c.sync == SyncSource::Internal ? SyncSource::MidiClock : SyncSource::Internal;
        LoadSettings(settings);
        EXPECT_EQ(settings.sync, c.sync) << c.value;
    }
    put("[Quorrel Taktwerk]\r\nDevice=1\r\n");
    LoadSettings(settings_);
    ASSERT_TRUE(saveSoundSettings(settings_, false));
    EXPECT_EQ(bytes(), "[Quorrel Taktwerk]\r\nDevice=1\r\nMIDIClick=37\r\n");
    settings_.sync = SyncSource::MidiClock;
    ASSERT_TRUE(saveSoundSettings(settings_, false));
    Settings reread = settings_;
    reread.sync = SyncSource::Internal;
    LoadSettings(reread);
    EXPECT_EQ(reread.sync, SyncSource::MidiClock);
    settings_.sync = SyncSource::JackTransport;
    ASSERT_TRUE(saveSoundSettings(settings_, false));
    EXPECT_EQ(bytes(), "[Quorrel Taktwerk]\r\nDevice=1\r\nMIDIClick=37\r\nSyncSource=JACK\r\n");
    reread.sync = SyncSource::Internal;
    LoadSettings(reread);
    EXPECT_EQ(reread.sync, SyncSource::JackTransport);
    settings_.sync = SyncSource::Internal;
    ASSERT_TRUE(saveSoundSettings(settings_, false));
    EXPECT_EQ(bytes(), "[Quorrel Taktwerk]\r\nDevice=1\r\nMIDIClick=37\r\nSyncSource=Internal\r\n");
}

TEST_F(SettingsFile, TheMidiInputMapKeepsTheGmNotesWhereTheFileSaysNothing)
{
    put("[Quorrel Taktwerk]\r\nDevice=1\r\n[MIDI In]\r\nBD=60 61\r\nSD=\r\nHH=loud\r\n"
        "oh=36\r\nT3=300 -5 43\r\n");
    LoadSettings(settings_);
    const sound::DrumNoteMap& map = settings_.drumNotes;
    EXPECT_EQ(map.notesText(0), "60 61") << "the file's notes replace the GM ones";
    EXPECT_EQ(map.notesText(1), "38 40") << "an empty value reads as a missing one";
    EXPECT_EQ(map.notesText(2), "") << "no note in the text: the pad is left to the mouse";
    EXPECT_EQ(map.notesText(3), "36") << "keys in any letter case";
    EXPECT_EQ(map.notesText(4), "51 59") << "no key: the GM notes";
    EXPECT_EQ(map.notesText(8), "43");

    put("[Quorrel Taktwerk]\r\nDevice=1\r\n");
    LoadSettings(settings_);
    EXPECT_EQ(settings_.drumNotes, sound::DrumNoteMap::generalMidi());
}

TEST_F(SettingsFile, MidiPortsAreKeptByTheirWholeNameWhateverItHolds)
{
    using devices::MidiPortChoice;
    const std::string longName = "Synth:" + std::string(1000, 'x');
    const MidiPortChoice choices[] = {
        MidiPortChoice::named("Drum Brain:in: kick/snare 20:0"),
        MidiPortChoice::named("Sÿnth Ü:Eingang 1"),                        // the code page holds it
        MidiPortChoice::named("\xe3\x82\xb7\xe3\x83\xb3\xe3\x82\xbb:in"),  // it does not
        MidiPortChoice::named(" padded : port "),
        MidiPortChoice::named("\"quoted\":port"),
        MidiPortChoice::named("100% Drums:out"),
        MidiPortChoice::named("utf8:%41 looks escaped"),
        MidiPortChoice::named("line\r\nbreak:port"),
        MidiPortChoice::named(longName),
        MidiPortChoice::none(),
    };
    for (const MidiPortChoice& choice : choices) {
        SCOPED_TRACE(choice.name.substr(0, 40));
        put("[Quorrel Taktwerk]\r\nDevice=1\r\n");
        LoadSettings(settings_);
        settings_.midiOut = choice;
        settings_.midiIn = choice;
        ASSERT_TRUE(saveSoundSettings(settings_, false));
        Settings reread = settings_;
        reread.midiOut = MidiPortChoice::firstPort();
        reread.midiIn = MidiPortChoice::named("stale:port");
        LoadSettings(reread);
        EXPECT_EQ(reread.midiOut, choice);
        EXPECT_EQ(reread.midiIn, choice);
        EXPECT_EQ(bytes().find("\nbreak"), std::string::npos) << "one line per key";
    }
}

TEST_F(SettingsFile, MidiPortKeysAreOnlyWrittenWhileAPortIsChosen)
{
    using devices::MidiPortChoice;
    put("[Quorrel Taktwerk]\r\nDevice=1\r\n");
    LoadSettings(settings_);
    EXPECT_EQ(settings_.midiOut, MidiPortChoice::firstPort()) << "the program's old default";
    EXPECT_EQ(settings_.midiIn, MidiPortChoice::none()) << "nothing plays the pads uninvited";
    ASSERT_TRUE(saveSoundSettings(settings_, false));
    EXPECT_EQ(bytes(), "[Quorrel Taktwerk]\r\nDevice=1\r\nMIDIClick=37\r\n")
        << "the old program's file, byte for byte";

    settings_.midiOut = MidiPortChoice::named("Drum Brain:in");
    settings_.midiIn = MidiPortChoice::named("Pads:out");
    ASSERT_TRUE(saveSoundSettings(settings_, false));
    EXPECT_EQ(bytes(), "[Quorrel Taktwerk]\r\nDevice=1\r\nMIDIClick=37\r\n"
                       "MidiOutPort=Drum Brain:in\r\nMidiInPort=Pads:out\r\n");
    settings_.midiOut = MidiPortChoice::none();
    ASSERT_TRUE(saveSoundSettings(settings_, false));
    EXPECT_EQ(bytes(), "[Quorrel Taktwerk]\r\nDevice=1\r\nMIDIClick=37\r\n"
                       "MidiOutPort=none\r\nMidiInPort=Pads:out\r\n");
    // Back to the defaults, the keys go: the file reads as if they had never been there.
    settings_.midiOut = MidiPortChoice::firstPort();
    settings_.midiIn = MidiPortChoice::none();
    ASSERT_TRUE(saveSoundSettings(settings_, false));
    EXPECT_EQ(bytes(), "[Quorrel Taktwerk]\r\nDevice=1\r\nMIDIClick=37\r\n");

    // Hand-written values: "none" in any case, an empty value is no choice, a mangled escape
    // names a port that will not be found rather than another one.
    const struct {
        const char* value;
        MidiPortChoice out;
    } cases[] = {{"NONE", MidiPortChoice::none()},
                 {"", MidiPortChoice::firstPort()},
                 {"utf8:%zz%4", MidiPortChoice::named("%zz%4")},
                 {"utf8:a%00b", MidiPortChoice::named("a%00b")},
                 {"utf8:%41%62", MidiPortChoice::named("Ab")}};
    for (const auto& c : cases) {
        put(std::string("[Quorrel Taktwerk]\r\nMidiOutPort=") + c.value + "\r\n");
        LoadSettings(settings_);
        EXPECT_EQ(settings_.midiOut, c.out) << c.value;
    }
}

TEST_F(SettingsFile, ALearnedMapWritesOnlyThePadsItChangedAndReadsBack)
{
    put("[Quorrel Taktwerk]\r\nDevice=1\r\n");
    LoadSettings(settings_);
    ASSERT_TRUE(saveSoundSettings(settings_, false));
    EXPECT_EQ(bytes(), "[Quorrel Taktwerk]\r\nDevice=1\r\nMIDIClick=37\r\n")
        << "an untouched map writes nothing";

    // Learned: 60 onto the bass drum, and the snare's 38 moved to tom 3; the ride lost both.
    settings_.drumNotes.set(60, 0);
    settings_.drumNotes.set(38, 8);
    settings_.drumNotes.setNotesText(4, "");
    ASSERT_TRUE(saveSoundSettings(settings_, false));
    EXPECT_EQ(bytes(), "[Quorrel Taktwerk]\r\nDevice=1\r\nMIDIClick=37\r\n[MIDI In]\r\n"
                       "BD=35 36 60\r\nSD=40\r\nRC=none\r\nT3=38 41 43\r\n");
    Settings reread = settings_;
    reread.drumNotes = sound::DrumNoteMap{};
    LoadSettings(reread);
    EXPECT_EQ(reread.drumNotes, settings_.drumNotes);

    // Reset to General MIDI: the keys once written stay, now with the GM notes.
    settings_.drumNotes = sound::DrumNoteMap::generalMidi();
    ASSERT_TRUE(saveSoundSettings(settings_, false));
    EXPECT_EQ(bytes(), "[Quorrel Taktwerk]\r\nDevice=1\r\nMIDIClick=37\r\n[MIDI In]\r\n"
                       "BD=35 36\r\nSD=38 40\r\nRC=51 59\r\nT3=41 43\r\n");
    LoadSettings(reread);
    EXPECT_EQ(reread.drumNotes, sound::DrumNoteMap::generalMidi());
}

TEST_F(SettingsFile, SavesWhatTheDialogAndTheExitChange)
{
    settings_.ModeSetting = 1;
    ASSERT_TRUE(saveMode(settings_));
    EXPECT_EQ(bytes(), "[Quorrel Taktwerk]\r\nMode=1\r\n");

    settings_.SoundSet = "Jazz Kit";
    settings_.SoundDevice = 2;
    settings_.ClickNote = 76;
    ASSERT_TRUE(saveSoundSettings(settings_, false));
    EXPECT_EQ(bytes(), "[Quorrel Taktwerk]\r\nMode=1\r\nDevice=2\r\nMIDIClick=76\r\n");
    ASSERT_TRUE(saveSoundSettings(settings_, true));
    EXPECT_EQ(bytes(),
              "[Quorrel Taktwerk]\r\nMode=1\r\nDevice=2\r\nMIDIClick=76\r\nSound=Jazz Kit\r\n");

    Settings again = InitPaths({folder_ / "drums", {}, {}, {}, {}});
    LoadSettings(again);
    EXPECT_EQ(again.SoundSet, "Jazz Kit");
    EXPECT_EQ(again.SoundDevice, 2);
    EXPECT_EQ(again.ModeSetting, 1);
    EXPECT_EQ(again.ClickNote, 76);

    // A settings file that cannot be written is reported, not lost in silence.
    settings_.IniFile = folder_ / "Rhythms" / "no folder" / "drums.ini";
    EXPECT_FALSE(saveMode(settings_));
}

TEST_F(SettingsFile, AnInstalledCopyWritesOnlyInTheHomeFolder)
{
    const fs::path prefix = folder_ / "prefix";
    fs::create_directories(prefix / "bin");
    fs::create_directories(prefix / "share" / "taktwerk" / "Rhythms");
    testing::writeBytes(prefix / "bin" / "taktwerk", "");
    const auto before = contentsOf(prefix);

    Settings settings = InitPaths({prefix / "bin" / "taktwerk", {}, {}, {}, folder_.string()});
    LoadSettings(settings);
    EXPECT_TRUE(fs::is_directory(folder_ / ".local/share/taktwerk/Rhythms"));
    EXPECT_TRUE(fs::is_directory(folder_ / ".local/share/taktwerk/Sound"));
    settings.ModeSetting = 1;
    ASSERT_TRUE(saveMode(settings));
    EXPECT_TRUE(fs::is_regular_file(folder_ / ".config/taktwerk/taktwerk.ini"));
    EXPECT_EQ(contentsOf(prefix), before);
}

}  // namespace
}  // namespace taktwerk::app
