// The kit readers on the layouts found in the wild and on hostile input: Hydrogen's current
// and legacy drumkit.xml, bare filenames, SFZ headers and opcodes, and the paths and names
// they carry.

#include "kits/HydrogenKit.h"
#include "kits/KitText.h"
#include "kits/SfzKit.h"

#include <gtest/gtest.h>

namespace taktwerk::kits {
namespace {

const std::filesystem::path kFolder = "/kits/test";

// Hydrogen 1.x: layers inside an instrumentComponent, under a namespace.
constexpr std::string_view kCurrentLayout = R"(<?xml version="1.0" encoding="UTF-8"?>
<drumkit_info xmlns="http://www.hydrogen-music.org/drumkit">
 <name>Current</name>
 <instrumentList>
  <instrument>
   <id>0</id><name>Kick</name><volume>0.5</volume><midiOutNote>36</midiOutNote>
   <instrumentComponent>
    <component_id>0</component_id><gain>2</gain>
    <layer><filename>Kick-Soft.wav</filename><min>0</min><max>0.202899</max><gain>1</gain></layer>
    <layer><filename>Kick-Hard.wav</filename><min>0.202899</min><max>1</max><gain>1.5</gain></layer>
   </instrumentComponent>
   <instrumentComponent>
    <component_id>1</component_id>
    <layer><filename>Kick-Room.wav</filename><min>0</min><max>1</max><gain>1</gain></layer>
   </instrumentComponent>
  </instrument>
  <instrument><id>1</id><name>17</name><volume>1</volume></instrument>
 </instrumentList>
</drumkit_info>)";

// Hydrogen 0.9: layers straight in the instrument, and a bare filename for one-sample drums.
constexpr std::string_view kLegacyLayout = R"(<drumkit_info>
 <name>Legacy</name>
 <instrumentList>
  <instrument><id>0</id><name>Snare</name><volume>1</volume>
   <layer><filename>snare_1.flac</filename><min>0.5</min><max>1</max><gain>1</gain></layer>
   <layer><filename>snare_2.flac</filename><min>0</min><max>0.5</max><gain>1</gain></layer>
  </instrument>
  <instrument><id>1</id><filename>hat.flac</filename><name>Closed HH</name><volume>0.8</volume>
  </instrument>
 </instrumentList>
</drumkit_info>)";

TEST(HydrogenKit, ReadsLayersOfBothLayoutsAndBareFilenames)
{
    const auto current = parseHydrogenKit(kCurrentLayout, kFolder);
    ASSERT_TRUE(current) << current.error().detail;
    EXPECT_EQ(current->name, "Current");
    ASSERT_EQ(current->instruments.size(), 1u);  // the empty slot "17" is no instrument
    const KitInstrument& kick = current->instruments[0];
    EXPECT_EQ(kick.midiNote, 36);
    ASSERT_EQ(kick.layers.size(), 2u);  // the second microphone is not another layer
    EXPECT_EQ(kick.layers[0].file, "Kick-Soft.wav");
    // Hydrogen's 0..1 becomes 0..127 so that ranges meeting in Hydrogen meet here.
    EXPECT_EQ(kick.layers[0].lowVelocity, 0);
    EXPECT_EQ(kick.layers[0].highVelocity, 25);
    EXPECT_EQ(kick.layers[1].lowVelocity, 26);
    EXPECT_EQ(kick.layers[1].highVelocity, 127);
    // Gains multiply: instrument volume, component gain, layer gain.
    EXPECT_DOUBLE_EQ(kick.layers[0].gain, 1.0);
    EXPECT_DOUBLE_EQ(kick.layers[1].gain, 1.5);

    const auto legacy = parseHydrogenKit(kLegacyLayout, kFolder);
    ASSERT_TRUE(legacy);
    ASSERT_EQ(legacy->instruments.size(), 2u);
    EXPECT_EQ(legacy->instruments[0].midiNote, -1);
    ASSERT_EQ(legacy->instruments[0].layers.size(), 2u);
    EXPECT_EQ(legacy->instruments[0].layers[0].lowVelocity, 64);
    const KitInstrument& hat = legacy->instruments[1];
    ASSERT_EQ(hat.layers.size(), 1u);
    EXPECT_EQ(hat.layers[0].file, "hat.flac");
    EXPECT_EQ(hat.layers[0].lowVelocity, 0);
    EXPECT_EQ(hat.layers[0].highVelocity, 127);
    EXPECT_DOUBLE_EQ(hat.layers[0].gain, 0.8);
}

std::string instrumentWithLayer(const std::string& layer)
{
    return "<drumkit_info><name>K</name><instrumentList><instrument><name>Kick</name>"
           "<layer><filename>ok.wav</filename></layer>" +
           layer + "</instrument></instrumentList></drumkit_info>";
}

TEST(HydrogenKit, LeavesOutHostileLayersAndSaysSo)
{
    struct Case {
        const char* layer;
        std::size_t layers;  // of the instrument, with "ok.wav"
    };
    const Case cases[] = {
        {"<layer><filename>../../etc/passwd</filename></layer>", 1},
        {"<layer><filename>/etc/passwd</filename></layer>", 1},
        {"<layer><filename>C:\\Windows\\win.ini</filename></layer>", 1},
        {"<layer><filename>a/../../b.wav</filename></layer>", 1},
        {"<layer><filename>x.wav</filename><min>soft</min></layer>", 1},
        {"<layer><filename>x.wav</filename><gain>nan</gain></layer>", 1},
        {"<layer><filename>sub\\dir/x.wav</filename></layer>", 2},  // inside: kept
    };
    for (const Case& c : cases) {
        const auto kit = parseHydrogenKit(instrumentWithLayer(c.layer), kFolder);
        ASSERT_TRUE(kit) << c.layer;
        EXPECT_EQ(kit->instruments[0].layers.size(), c.layers) << c.layer;
        EXPECT_EQ(kit->notes.size(), 2u - c.layers) << c.layer;
    }
    // Upside down ranges are turned round; absurd gains are held in bounds.
    const auto kit = parseHydrogenKit(
        instrumentWithLayer("<layer><filename>x.wav</filename><min>0.9</min><max>0.1</max>"
                            "<gain>1e9</gain></layer>"),
        kFolder);
    ASSERT_TRUE(kit);
    EXPECT_EQ(kit->instruments[0].layers[1].lowVelocity, 13);
    EXPECT_EQ(kit->instruments[0].layers[1].highVelocity, 114);
    EXPECT_DOUBLE_EQ(kit->instruments[0].layers[1].gain, 16.0);

    // Velocities far outside int's range (a fuzzer's find: converting them was undefined) end
    // at the edges of ours.
    const auto huge = parseHydrogenKit(
        instrumentWithLayer("<layer><filename>x.wav</filename><min>-4e52</min><max>4e52</max>"
                            "</layer>"),
        kFolder);
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->instruments[0].layers[1].lowVelocity, 0);
    EXPECT_EQ(huge->instruments[0].layers[1].highVelocity, 127);
}

// Hydrogen's mute_group (0 up, -1 none) and SFZ's group and off_by (1 up, 0 none) become our
// choke groups (1 up, 0 none); what is no group number leaves the drum without one.
TEST(KitReaders, ChokeGroupsOfBothFormats)
{
    struct Case {
        const char* value;
        int hydrogen;  // the group of <mute_group>value</mute_group>
        int sfz;       // of group=value
    };
    const Case cases[] = {
        {"0", 1, 0},
        {"3", 4, 3},
        {"-1", 0, 0},
        {"-7", 0, 0},
        {"2.5", 0, 0},
        {"hat", 0, 0},
        {"1e300", 0, 0},
        {"nan", 0, 0},
        {"1048575", 1048576, 1048575},
        {"1048576", 0, 1048576},
        {"99999999999999999999", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        const auto hydrogen = parseHydrogenKit(
            instrumentWithLayer(std::string("<mute_group>") + c.value + "</mute_group>"), kFolder);
        ASSERT_TRUE(hydrogen);
        EXPECT_EQ(hydrogen->instruments[0].chokeGroup, c.hydrogen);
        EXPECT_EQ(hydrogen->instruments[0].chokedBy, c.hydrogen);
        const auto sfz = parseSfzKit(std::string("<region> key=42 sample=a.wav off_by=2 group=") +
                                         c.value + "\n",
                                     kFolder, "Groups");
        ASSERT_TRUE(sfz);
        EXPECT_EQ(sfz->instruments[0].chokeGroup, c.sfz);
        EXPECT_EQ(sfz->instruments[0].chokedBy, 2);
    }
}

TEST(HydrogenKit, RefusesWhatIsNoDrumkit)
{
    for (const std::string_view text :
         {std::string_view(""), std::string_view("<drumkit_info><name>x</name>"),
          std::string_view("<song><name>x</name></song>"),
          std::string_view("<drumkit_info><name>Empty</name><instrumentList/></drumkit_info>"),
          // An entity bomb: pugixml expands no entities of a DOCTYPE.
          std::string_view("<!DOCTYPE d [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;\">]>"
                           "<drumkit_info><name>&b;</name></drumkit_info>")})
        EXPECT_FALSE(parseHydrogenKit(text, kFolder)) << text;
}

TEST(SfzKit, GathersRegionsIntoOneInstrumentPerKey)
{
    const auto kit = parseSfzKit(R"(// a drum kit
<control> default_path=samples\
<global> volume=-6 loop_mode=one_shot
<group> key=36 group=1
<region> sample=kick soft.wav lovel=1 hivel=63
<region> sample=kick hard.wav lovel=64 hivel=127 /* the loud one */
<group> off_by=1 lokey=f#2 hikey=f#2
<region> sample=hat.flac region_label=Closed Hat amp_veltrack=100
<region> sample=ride.wav key=c#4 sw_last=20
<region> sample=pad.wav lokey=0 hikey=127
#define $X 1
)",
                                 kFolder, "Test");
    ASSERT_TRUE(kit) << kit.error().detail;
    ASSERT_EQ(kit->instruments.size(), 4u);
    const KitInstrument& kick = kit->instruments[0];
    EXPECT_EQ(kick.midiNote, 36);
    EXPECT_EQ(kick.name, "kick soft");
    EXPECT_EQ(kick.chokeGroup, 1);
    ASSERT_EQ(kick.layers.size(), 2u);
    EXPECT_EQ(kick.layers[0].file, "samples/kick soft.wav");
    EXPECT_EQ(kick.layers[1].file, "samples/kick hard.wav");
    EXPECT_EQ(kick.layers[1].lowVelocity, 64);
    EXPECT_NEAR(kick.layers[0].gain, 0.501, 0.001);  // -6 dB
    EXPECT_EQ(kit->instruments[1].midiNote, 42);
    EXPECT_EQ(kit->instruments[1].name, "Closed Hat");
    EXPECT_EQ(kit->instruments[1].chokedBy, 1);
    EXPECT_EQ(kit->instruments[2].midiNote, 61);
    EXPECT_EQ(kit->instruments[3].midiNote, -1);  // a melodic range is no drum key
    // Every opcode outside the subset is named once, in one note.
    ASSERT_EQ(kit->notes.size(), 1u);
    EXPECT_EQ(kit->notes[0], "ignored: #define, amp_veltrack, loop_mode, sw_last");
}

TEST(SfzKit, KeysAsNumbersOrNoteNames)
{
    const std::vector<std::pair<std::string_view, std::optional<int>>> cases{
        {"36", 36}, {"c4", 60}, {"C4", 60},  {"c#4", 61}, {"db4", 61}, {"c-1", 0},  {"g9", 127},
        {"b", {}},  {"h2", {}}, {"128", {}}, {"-1", {}},  {"g#9", {}}, {"c4x", {}}, {"", {}}};
    for (const auto& [text, key] : cases)
        EXPECT_EQ(sfzKey(text), key) << text;
}

TEST(SfzKit, RefusesSamplesOutsideItsFolderAndBrokenNumbers)
{
    const auto kit = parseSfzKit("<control> default_path=../other/\n<region> sample=a.wav key=36\n"
                                 "<control> default_path=\n"
                                 "<region> sample=/etc/passwd key=38\n"
                                 "<region> sample=b.wav key=40 lovel=x\n"
                                 "<region> sample=c.wav key=42 lovel=100 hivel=20\n",
                                 kFolder, "Hostile");
    ASSERT_TRUE(kit);
    ASSERT_EQ(kit->instruments.size(), 1u);
    EXPECT_EQ(kit->instruments[0].midiNote, 42);
    EXPECT_EQ(kit->instruments[0].layers[0].lowVelocity, 20);  // turned round
    EXPECT_EQ(kit->notes.size(), 4u);
    EXPECT_FALSE(parseSfzKit("<region> key=36\n<group>\n", kFolder, "Empty"));
    EXPECT_FALSE(parseSfzKit("", kFolder, "Empty"));
}

TEST(KitText, SamplePathsStayRelativeAndInside)
{
    const std::vector<std::pair<std::string_view, std::optional<std::string>>> cases{
        {"a.wav", "a.wav"},
        {"./a/b.wav", "a/b.wav"},
        {"a\\b.wav", "a/b.wav"},
        {"a//b.wav", "a/b.wav"},
        {"", {}},
        {".", {}},
        {"../a.wav", {}},
        {"a/../../b.wav", {}},
        {"a/..", {}},
        {"/abs.wav", {}},
        {"\\\\server\\share.wav", {}},
        {"C:\\kit\\a.wav", {}},
        {std::string_view("a\0b.wav", 7), {}},
        {"a\nb.wav", {}}};
    for (const auto& [text, expected] : cases) {
        const auto path = relativeSamplePath(text);
        EXPECT_EQ(path ? std::optional<std::string>(path->generic_string()) : std::nullopt,
                  expected)
            << text;
    }
}

TEST(KitText, SetNamesMakeOnePlainFolderTheSettingsCanName)
{
    const std::vector<std::pair<std::string_view, std::string_view>> cases{
        {"GMRockKit", "GMRockKit"},
        {"The Black Pearl 1.0", "The Black Pearl 1.0"},
        {"../../etc", "_.._etc"},
        {"a/b\\c:d*e?f\"g<h>i|j", "a_b_c_d_e_f_g_h_i_j"},
        {" .hidden. ", "hidden"},
        {"Trommel ÄÖÜ", "Trommel ÄÖÜ"},
        {"Кит 鼓", "___ _"},
        {"", "Kit"},
        {"...", "Kit"},
        {"\x01\x7f", "__"}};
    for (const auto& [kitName, setName] : cases) {
        EXPECT_EQ(setNameFrom(kitName), setName) << kitName;
        EXPECT_TRUE(isPlainSetName(setNameFrom(kitName))) << kitName;
    }
    EXPECT_EQ(setNameFrom(std::string(200, 'x')).size(), 64u);
}

TEST(KitText, NumbersReadAlikeUnderEveryLocale)
{
    EXPECT_EQ(decimalNumber("0.75"), 0.75);
    EXPECT_EQ(decimalNumber(" 1e-2 "), 0.01);
    EXPECT_EQ(decimalNumber("+2"), 2.0);
    for (const std::string_view bad : {"", "0,75", "1.5x", "nan", "inf", "1e999", "--1"})
        EXPECT_FALSE(decimalNumber(bad)) << bad;
    EXPECT_EQ(wholeNumber(" 127 "), 127);
    EXPECT_FALSE(wholeNumber("12.5"));
    EXPECT_EQ(decimalText(1.0), "1");
    EXPECT_EQ(decimalNumber(decimalText(1.0 / 3.0)), 1.0 / 3.0);
}

}  // namespace
}  // namespace taktwerk::kits
