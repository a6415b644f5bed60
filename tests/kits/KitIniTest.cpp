// kit.ini: what the importer writes reads back the same, in the form our other INI files
// have, and whatever a hand-edited or hostile file holds gives usable layers only.

#include "kits/KitIni.h"

#include <gtest/gtest.h>

namespace taktwerk::kits {
namespace {

TEST(KitIni, WritesWindowsIniThatReadsBackAlike)
{
    KitIni kit;
    kit.name = "Rock Kit Ä";
    kit.format = "Hydrogen";
    kit.entries.push_back({"BD", "Kick", {{"BD-1.wav", 0, 63, 1.5}, {"BD.wav", 64, 127, 1.0}}});
    kit.entries.push_back({"T4", "Tom 4", {{"T4.wav", 0, 127, 0.25}}, 3, 7});
    const auto bytes = kitIniBytes(kit);
    ASSERT_TRUE(bytes);
    EXPECT_TRUE(bytes->starts_with("[Kit]\r\nName=Rock Kit \xC4\r\n"));  // Windows-1252
    EXPECT_NE(bytes->find("[BD]\r\nInstrument=Kick\r\nLayers=2\r\nLayer1=BD-1.wav\r\n"
                          "Velocity1=0-63\r\nGain1=1.5\r\n"),
              std::string::npos);
    EXPECT_EQ(bytes->find('\n'), bytes->find("\r\n") + 1);
    // Choke keys only where there is a group, so a kit without any reads as before.
    EXPECT_NE(bytes->find("Gain1=0.25\r\nChokeGroup=3\r\nChokedBy=7\r\n"), std::string::npos);
    EXPECT_EQ(bytes->find("Choke"), bytes->find("ChokeGroup=3"));

    std::vector<std::string> problems;
    const KitIni read = parseKitIni(*bytes, &problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(read.name, kit.name);
    ASSERT_EQ(read.entries.size(), 2u);
    const KitIniEntry* bd = read.entry("BD");
    ASSERT_NE(bd, nullptr);
    EXPECT_EQ(bd->instrument, "Kick");
    ASSERT_EQ(bd->layers.size(), 2u);
    EXPECT_EQ(bd->layers[0].file, "BD-1.wav");
    EXPECT_EQ(bd->layers[0].highVelocity, 63);
    EXPECT_DOUBLE_EQ(bd->layers[0].gain, 1.5);
    EXPECT_DOUBLE_EQ(read.entry("T4")->layers[0].gain, 0.25);
    EXPECT_EQ(read.entry("T4")->chokeGroup, 3);
    EXPECT_EQ(read.entry("T4")->chokedBy, 7);
    EXPECT_EQ(bd->chokeGroup, 0);
    EXPECT_EQ(bd->chokedBy, 0);
    EXPECT_EQ(read.entry("SD"), nullptr);
}

TEST(KitIni, HostileLayersAreLeftOutAndNamed)
{
    struct Case {
        const char* lines;
        std::size_t layers;
    };
    const Case cases[] = {
        {"Layer1=x.wav\r\n", 1},
        {"Layer1=x.wav\r\nVelocity1=10 - 20\r\nGain1=0\r\n", 1},
        {"Layer1=../other/x.wav\r\n", 0},
        {"Layer1=/etc/passwd\r\n", 0},
        {"Layer1=sub/x.wav\r\n", 0},
        {"Layer1=..\\x.wav\r\n", 0},
        {"Layer1=\r\n", 0},
        {"Layer1=x.wav\r\nVelocity1=90-10\r\n", 0},  // upside down
        {"Layer1=x.wav\r\nVelocity1=0-128\r\n", 0},
        {"Layer1=x.wav\r\nVelocity1=-5-10\r\n", 0},
        {"Layer1=x.wav\r\nVelocity1=loud\r\n", 0},
        {"Layer1=x.wav\r\nGain1=17\r\n", 0},
        {"Layer1=x.wav\r\nGain1=-1\r\n", 0},
        {"Layer1=x.wav\r\nGain1=nan\r\n", 0},
    };
    for (const Case& c : cases) {
        std::vector<std::string> problems;
        const KitIni kit = parseKitIni(std::string("[SD]\r\nLayers=1\r\n") + c.lines, &problems);
        const KitIniEntry* sd = kit.entry("SD");
        EXPECT_EQ(sd ? sd->layers.size() : 0u, c.layers) << c.lines;
        EXPECT_EQ(problems.size(), 1u - c.layers) << c.lines;
    }
}

TEST(KitIni, ChokeGroupsThatAreNoGroupsAreLeftOutAndNamed)
{
    struct Case {
        const char* lines;
        int group;
        int chokedBy;
        std::size_t problems;
    };
    const Case cases[] = {
        {"ChokeGroup=2\r\nChokedBy=5\r\n", 2, 5, 0},
        {"ChokeGroup=0\r\n", 0, 0, 0},
        {"ChokeGroup=1048576\r\nChokedBy= 4 \r\n", 1048576, 4, 0},
        {"ChokeGroup=1048577\r\n", 0, 0, 1},
        {"ChokeGroup=-1\r\nChokedBy=1\r\n", 0, 1, 1},
        {"ChokeGroup=99999999999999999999999\r\n", 0, 0, 1},
        {"ChokeGroup=hat\r\nChokedBy=1.5\r\n", 0, 0, 2},
        {"ChokeGroup=\r\n", 0, 0, 0},  // empty: as if not there
    };
    for (const Case& c : cases) {
        std::vector<std::string> problems;
        const KitIni kit =
            parseKitIni(std::string("[HH]\r\nLayers=1\r\nLayer1=HH.wav\r\n") + c.lines, &problems);
        const KitIniEntry* hh = kit.entry("HH");
        ASSERT_NE(hh, nullptr) << c.lines;  // the layer plays whatever its groups say
        EXPECT_EQ(hh->chokeGroup, c.group) << c.lines;
        EXPECT_EQ(hh->chokedBy, c.chokedBy) << c.lines;
        EXPECT_EQ(problems.size(), c.problems) << c.lines;
    }
}

TEST(KitIni, LayerCountsAreBounded)
{
    std::string text = "[HH]\r\nLayers=1000000000000\r\n";
    for (int n = 1; n <= 40; ++n)
        text += "Layer" + std::to_string(n) + "=h" + std::to_string(n) + ".wav\r\n";
    std::vector<std::string> problems;
    const KitIni kit = parseKitIni(text, &problems);
    ASSERT_NE(kit.entry("HH"), nullptr);
    EXPECT_EQ(kit.entry("HH")->layers.size(), static_cast<std::size_t>(kMaxIniLayers));
    for (const char* count : {"Layers=-1", "Layers=many", "Layers=0"})
        EXPECT_EQ(parseKitIni(std::string("[HH]\r\n") + count + "\r\nLayer1=a.wav\r\n").entry("HH"),
                  nullptr)
            << count;
    // Sections that are no file of a set are not read at all.
    EXPECT_TRUE(parseKitIni("[../BD]\r\nLayers=1\r\nLayer1=a.wav\r\n").entries.empty());
}

}  // namespace
}  // namespace taktwerk::kits
