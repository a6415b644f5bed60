// "MIDI output device 0" and the machine without any MIDI system.

#include "devices/MidiOut.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace taktwerk::devices {
namespace {

TEST(MidiOut, DeviceZeroIsTheFirstPortThatIsNoPassThrough)
{
    struct Case {
        std::vector<std::string> ports;
        std::optional<std::size_t> expected;
    };
    const Case cases[] = {
        {{}, std::nullopt},
        {{"Midi Through:Midi Through Port-0 14:0"}, std::nullopt},
        {{"Midi Through:Midi Through Port-0 14:0", "FLUID Synth (1234):Synth input port 128:0"}, 1},
        {{"USB MIDI Interface:USB MIDI Interface MIDI 1 20:0", "Midi Through:Port-0 14:0"}, 0},
        // The word is matched as the system writes it.
        {{"through the wall 24:0"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ports.empty() ? std::string("no ports") : c.ports.front());
        EXPECT_EQ(firstUsableMidiPort(c.ports), c.expected);
    }
}

TEST(MidiOut, NoMidiSystemMeansNoPortNotACrash)
{
    if (std::filesystem::exists("/dev/snd/seq"))
        GTEST_SKIP() << "this machine has an ALSA sequencer";

    std::optional<core::Result<std::unique_ptr<MidiOut>>> opened;
    EXPECT_NO_THROW(opened.emplace(MidiOut::openFirstPort()));

    ASSERT_TRUE(opened);
    ASSERT_FALSE(*opened);
    EXPECT_FALSE(opened->error().message.empty());
    EXPECT_NE(opened->error().detail.find("ALSA"), std::string::npos) << opened->error().detail;

    // An input port is only ever the one named; a name not there is said as a missing port.
    std::optional<core::Result<std::unique_ptr<MidiIn>>> input;
    EXPECT_NO_THROW(input.emplace(MidiIn::open(MidiPortChoice::named("Drum Brain:out 1 20:0"))));
    ASSERT_TRUE(input);
    ASSERT_FALSE(*input);
    EXPECT_EQ(input->error().message, "MIDI port \"Drum Brain:out 1 20:0\" not found");
    for (const MidiPortChoice& unnamed : {MidiPortChoice::firstPort(), MidiPortChoice::none()}) {
        const auto none = MidiIn::open(unnamed);
        ASSERT_FALSE(none);
        EXPECT_EQ(none.error().message, "No MIDI input chosen.");
    }
}

}  // namespace
}  // namespace taktwerk::devices
