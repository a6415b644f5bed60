// Which instrument plays which file of the set: by General MIDI note when a kit's notes are
// plausible, by name otherwise, with the user's overrides first.

#include "kits/KitMapping.h"

#include <gtest/gtest.h>

namespace taktwerk::kits {
namespace {

KitSource kitOf(const std::vector<std::pair<std::string, int>>& instruments)
{
    KitSource kit;
    for (const auto& [name, note] : instruments)
        kit.instruments.push_back({name, note, {{"x.wav", 0, 127, 1.0}}});
    return kit;
}

// The instrument names of the fourteen files ("-" for the Default set's), then extra toms.
std::vector<std::string> names(const KitSource& kit, const std::vector<MapOverride>& overrides = {})
{
    const auto mapping = mapKit(kit, overrides);
    EXPECT_TRUE(mapping);
    std::vector<std::string> result;
    for (const int index : mapping->files)
        result.push_back(index < 0 ? "-" : kit.instruments[static_cast<std::size_t>(index)].name);
    for (const int index : mapping->extraToms)
        result.push_back(kit.instruments[static_cast<std::size_t>(index)].name);
    return result;
}

TEST(KitMapping, ByGeneralMidiNoteWhenPlausible)
{
    // Names that would mislead: the notes decide.
    const KitSource kit = kitOf({{"A", 36},
                                 {"B", 38},
                                 {"C", 40},
                                 {"D", 37},
                                 {"E", 42},
                                 {"F", 46},
                                 {"G", 51},
                                 {"H", 59},
                                 {"I", 56},
                                 {"J", 49},
                                 {"K", 41},
                                 {"L", 45},
                                 {"M", 50},
                                 {"N", 75},
                                 {"O", 35}});
    EXPECT_TRUE(notesArePlausible(kit));
    EXPECT_EQ(names(kit), (std::vector<std::string>{"A", "B", "C", "D", "E", "F", "G", "H", "I",
                                                    "J", "M", "L", "K", "N"}));
}

TEST(KitMapping, ByNameWhenEveryInstrumentSharesANote)
{
    const KitSource kit = kitOf({{"Pearl Kick", 60},
                                 {"Pearl Side Stick", 60},
                                 {"Pearl Snare", 60},
                                 {"Pearl Snare Rimshot", 60},
                                 {"Pearl Tom Floor", 60},
                                 {"Sabian Hat Closed", 60},
                                 {"Pearl Tom 2", 60},
                                 {"Sabian Hat Pedal", 60},
                                 {"Pearl Tom 1", 60},
                                 {"Sabian Hat Open", 60},
                                 {"Cowbell", 60},
                                 {"Paiste Ride", 60},
                                 {"Paiste Bell", 60},
                                 {"Sabian Crash", 60},
                                 {"Custom Click Track", 60}});
    EXPECT_FALSE(notesArePlausible(kit));
    EXPECT_EQ(names(kit),
              (std::vector<std::string>{"Pearl Kick", "Pearl Snare", "Pearl Snare Rimshot",
                                        "Pearl Side Stick", "Sabian Hat Closed", "Sabian Hat Open",
                                        "Paiste Ride", "Paiste Bell", "Cowbell", "Sabian Crash",
                                        "Pearl Tom 1", "Pearl Tom 2", "Pearl Tom Floor",
                                        "Custom Click Track"}));
}

TEST(KitMapping, NamesOfEveryKindOfKit)
{
    struct Case {
        std::vector<std::pair<std::string, int>> instruments;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases{
        // Names with notes in them, hyphens, and a stick that is the click, too.
        {{{"c3 - bass drum 1", -1},
          {"c#3 - stick", -1},
          {"d3 - snare 1", -1},
          {"f#3 - hi-hat closed", -1},
          {"a#3 - hi-hat open", -1},
          {"c#4 - crash", -1}},
         {"c3 - bass drum 1", "d3 - snare 1", "-", "c#3 - stick", "f#3 - hi-hat closed",
          "a#3 - hi-hat open", "-", "-", "-", "c#4 - crash", "-", "-", "-", "c#3 - stick"}},
        // Abbreviations, a pedal hi-hat standing in for a closed one, words run together,
        // and a "custom" that is no tom.
        {{{"BassDrum", -1},
          {"Hat 1 Pd", -1},
          {"Hat 1 Op", -1},
          {"crash16inch", -1},
          {"Ride (Custom)", -1},
          {"ride-cup", -1},
          {"tomhi", -1},
          {"Floortom", -1}},
         {"BassDrum", "-", "-", "-", "Hat 1 Pd", "Hat 1 Op", "Ride (Custom)", "ride-cup", "-",
          "crash16inch", "tomhi", "Floortom", "-", "-"}},
        // Six toms: highest, nearest the middle and lowest; the rest become extra toms.
        {{{"Tom Low", -1},
          {"Tom Mid", -1},
          {"Tom Hi", -1},
          {"tomhi2", -1},
          {"tomhi3", -1},
          {"Floor Tom", -1}},
         {"-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "Tom Hi", "Tom Mid", "Floor Tom", "-",
          "tomhi2", "tomhi3", "Tom Low"}},
        // A crash/ride plays the ride when there is no other; nothing a drum machine knows.
        {{{"Crash/Ride", -1}, {"Djembe Slap", -1}, {"Hand Clap", -1}},
         {"-", "-", "-", "-", "-", "-", "Crash/Ride", "-", "-", "-", "-", "-", "-", "-"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(names(kitOf(c.instruments)), c.expected) << c.instruments.front().first;
}

TEST(KitMapping, NameBeatsANoteOfAnotherKindOfDrum)
{
    // As in a kit that puts its second snare on a tom's note and its ride on the cowbell's.
    const KitSource kit = kitOf({{"Kick", 35},
                                 {"Snare", 40},
                                 {"Snare Rimshot", 38},
                                 {"Snare 2", 47},
                                 {"Ride", 56},
                                 {"Tom High", 50},
                                 {"Tom Low", 41}});
    EXPECT_TRUE(notesArePlausible(kit));
    const auto mapped = names(kit);
    EXPECT_EQ(mapped[1], "Snare");
    EXPECT_EQ(mapped[2], "Snare Rimshot");
    EXPECT_EQ(mapped[6], "Ride");
    EXPECT_EQ(mapped[8], "-");  // no cowbell
    EXPECT_EQ(mapped[10], "Tom High");
    EXPECT_EQ(mapped[11], "Tom Low");
}

TEST(KitMapping, OverridesComeFirstAndAreChecked)
{
    const KitSource kit = kitOf({{"Kick", -1}, {"Snare", -1}, {"Snare Rock", -1}, {"Clap", -1}});
    const auto mapped = names(kit, {{"sd", "snare rock"}, {"ST", "Clap"}, {"BD", ""}});
    EXPECT_EQ(mapped[0], "-");           // asked for the Default set's
    EXPECT_EQ(mapped[1], "Snare Rock");  // letter case does not matter
    EXPECT_EQ(mapped[2], "Snare");       // the snare left over is the second one
    EXPECT_EQ(mapped[13], "Clap");
    for (const MapOverride& bad : {MapOverride{"XX", "Kick"}, MapOverride{"BD", "Cowbell"},
                                   MapOverride{"", "Kick"}, MapOverride{"BD.wav", "Kick"}})
        EXPECT_FALSE(mapKit(kit, {bad})) << bad.file << "=" << bad.instrument;
}

}  // namespace
}  // namespace taktwerk::kits
