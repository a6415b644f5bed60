// Choosing MIDI ports by name: the exact port the user named or none at all, never another one;
// listed and connected on a private JACK server with ports of other programs whose names hold
// blanks, colons and non-ASCII letters, and a chosen port that goes away and comes back.

#include "devices/MidiPorts.h"

#include "devices/AudioOut.h"
#include "devices/MidiOut.h"
#include "devices/support/JackDummyServer.h"
#include "devices/support/JackPortOwner.h"
#include "devices/support/TestSources.h"

#include <chrono>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>

namespace taktwerk::devices {
namespace {

using testing::ClickSource;
using testing::JackDummyServer;
using testing::JackPortOwner;
using Direction = JackPortOwner::Direction;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const std::string kLongName = "Synth:" + std::string(1000, 'x');
// A registration reaches the watch thread through JACK's notification thread: soon, but not at
// once.
constexpr auto kNotificationWait = std::chrono::seconds(5);

// The server shows a connection made or taken away from its next graph change on; on a loaded
// machine that may take a few cycles. Waits (bounded) until `owner`'s peers are `expected`.
std::vector<std::string> peersOnceSettled(const JackPortOwner& owner,
                                          const std::vector<std::string>& expected)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    std::vector<std::string> peers = owner.connections();
    while (peers != expected && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        peers = owner.connections();
    }
    return peers;
}

#define SKIP_WITHOUT_JACKD()                                                                       \
    if (!JackDummyServer::isInstalled()) {                                                         \
        GTEST_SKIP() << "jackd is not installed (Debian package jackd2)";                          \
    }

TEST(MidiPortChoice, FindsTheNameOrItsDeviceAnewAndTheFirstPortOnlyByDefault)
{
    const std::vector<std::string> ports{"Midi Through:Midi Through Port-0 14:0",
                                         "Drum Brain:in 1 20:0", "Drum Brain:in 1 20:1",
                                         "Sÿnth Ü:Eingang 128:0"};
    const struct {
        MidiPortChoice choice;
        std::optional<std::size_t> expected;
    } cases[] = {
        {MidiPortChoice::firstPort(), 1},
        {MidiPortChoice::none(), std::nullopt},
        {MidiPortChoice::named("Drum Brain:in 1 20:1"), 2},
        {MidiPortChoice::named("Midi Through:Midi Through Port-0 14:0"), 0},  // chosen, so taken
        {MidiPortChoice::named("Sÿnth Ü:Eingang 128:0"), 3},
        // Near misses are other ports, perhaps another machine: never taken instead.
        {MidiPortChoice::named("drum brain:in 1 20:1"), std::nullopt},
        {MidiPortChoice::named("Drum Brain:in 1 20:1 "), std::nullopt},
        {MidiPortChoice::named("Drum Brain:in 1"), std::nullopt},
        {MidiPortChoice::named("Synth U:Eingang 128:0"), std::nullopt},
        {MidiPortChoice::named(""), std::nullopt},
        {MidiPortChoice::named(kLongName), std::nullopt},
        {MidiPortChoice::named(std::string("Drum Brain:in 1 20:1\0x", 22)), std::nullopt},
        // The same device plugged in anew under another client number: its port of that number.
        {MidiPortChoice::named("Drum Brain:in 1 24:1"), 2},
        {MidiPortChoice::named("Sÿnth Ü:Eingang 20:0"), 3},
        {MidiPortChoice::named("Drum Brain:in 1 24:2"), std::nullopt},
        {MidiPortChoice::named("Drum Brain:in 2 20:0"), std::nullopt},
        {MidiPortChoice::named("Drum Brain:in 1 x:1"), std::nullopt},
        {MidiPortChoice::named("Drum Brain:in 1 20:"), std::nullopt},
        {MidiPortChoice::named("Drum Brain:in 1 :1"), std::nullopt},
        {MidiPortChoice::named(" 20:1"), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.choice.name.substr(0, 40));
        EXPECT_EQ(chooseMidiPort(ports, c.choice), c.expected);
    }
    EXPECT_EQ(chooseMidiPort({}, MidiPortChoice::firstPort()), std::nullopt);
}

TEST(MidiPortChoice, AChosenPortThatIsMissingIsAnErrorNamingIt)
{
    if (std::filesystem::exists("/dev/snd/seq"))
        GTEST_SKIP() << "this machine has an ALSA sequencer";
    const auto opened = MidiOut::open(MidiPortChoice::named("Drum Brain: in 1"), "Taktwerk");
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error().message, "MIDI port \"Drum Brain: in 1\" not found");
    EXPECT_FALSE(MidiOut::open(MidiPortChoice::none()));
    EXPECT_THAT(listAlsaMidiPorts(MidiDirection::Output, "Taktwerk"), IsEmpty());
}

// Other programs' ports with names users really meet, each with one port of each direction.
struct Peers {
    JackPortOwner brainIn{"Drum Brain", "in: kick/snare", Direction::Input};
    JackPortOwner synthIn{"Sÿnth Ü", "Eingang 1", Direction::Input};
    JackPortOwner padsOut{"Pad Controller", "out", Direction::Output};
    JackPortOwner keysOut{"Keys", "MIDI out: 2", Direction::Output};

    bool ready() const
    {
        return brainIn.isReady() && synthIn.isReady() && padsOut.isReady() && keysOut.isReady();
    }
};

TEST(MidiPortsOnJack, ListsOtherProgramsPortsByFullNameButNeverOurOwn)
{
    SKIP_WITHOUT_JACKD()
    JackDummyServer server;
    ASSERT_TRUE(server.isReady()) << server.failure();
    Peers peers;
    ASSERT_TRUE(peers.ready());
    AudioOutRequest request;
    request.midiOut = MidiPortChoice::none();
    auto opened = openJackAudioOut(request);
    ASSERT_TRUE(opened) << opened.error().detail;

    const MidiPortList outputs = listMidiPorts(MidiDirection::Output);
    EXPECT_TRUE(outputs.jack);
    EXPECT_THAT(outputs.names,
                ::testing::UnorderedElementsAre("Drum Brain:in: kick/snare", "Sÿnth Ü:Eingang 1"));
    const auto inputs = listJackMidiPorts(MidiDirection::Input, "Taktwerk");
    ASSERT_TRUE(inputs);
    EXPECT_THAT(*inputs, ::testing::UnorderedElementsAre("Pad Controller:out", "Keys:MIDI out: 2"));
}

TEST(MidiPortsOnJack, ConnectsExactlyTheChosenPortOrNone)
{
    SKIP_WITHOUT_JACKD()
    JackDummyServer server;
    ASSERT_TRUE(server.isReady()) << server.failure();
    Peers peers;
    ASSERT_TRUE(peers.ready());
    const struct {
        MidiPortChoice out;
        MidiPortChoice in;
        std::vector<std::string> brainPeers, synthPeers, padsPeers, keysPeers;
        std::string problem;
    } cases[] = {
        {MidiPortChoice::named("Sÿnth Ü:Eingang 1"),
         MidiPortChoice::named("Keys:MIDI out: 2"),
         {},
         {"Taktwerk:midi_out"},
         {},
         {"Taktwerk:midi_in"},
         ""},
        {MidiPortChoice::named("Drum Brain:in: kick/snare"),
         MidiPortChoice::none(),
         {"Taktwerk:midi_out"},
         {},
         {},
         {},
         ""},
        // Today's default: the first MIDI input of another program; the input stays free.
        {MidiPortChoice::firstPort(),
         MidiPortChoice::none(),
         {"Taktwerk:midi_out"},
         {},
         {},
         {},
         ""},
        {MidiPortChoice::none(), MidiPortChoice::none(), {}, {}, {}, {}, ""},
        // Missing names connect nothing at all, and say which port is missing.
        {MidiPortChoice::named("Drum Brain:in: kick/snar"),
         MidiPortChoice::none(),
         {},
         {},
         {},
         {},
         "MIDI port \"Drum Brain:in: kick/snar\" not found"},
        {MidiPortChoice::named(kLongName),
         MidiPortChoice::named("Pad Controller:in"),
         {},
         {},
         {},
         {},
         "MIDI port \"" + kLongName + "\" not found; MIDI port \"Pad Controller:in\" not found"},
        // A port of the wrong direction is not the one meant.
        {MidiPortChoice::named("Pad Controller:out"),
         MidiPortChoice::named("Drum Brain:in: kick/snare"),
         {},
         {},
         {},
         {},
         "MIDI port \"Pad Controller:out\" not found; MIDI port \"Drum Brain:in: kick/snare\" not "
         "found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out.name.substr(0, 40) + " / " + c.in.name);
        AudioOutRequest request;
        request.midiOut = c.out;
        request.midiIn = c.in;
        // A loaded server may still be busy with the previous case's client going away.
        auto opened = openJackAudioOut(request);
        for (int retry = 0; !opened && retry < 20; ++retry) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            opened = openJackAudioOut(request);
        }
        ASSERT_TRUE(opened) << opened.error().detail;
        ClickSource quiet(0, 1000, /*armed=*/false);
        ASSERT_TRUE((*opened)->start(quiet));
        EXPECT_EQ(peersOnceSettled(peers.brainIn, c.brainPeers), c.brainPeers);
        EXPECT_EQ(peersOnceSettled(peers.synthIn, c.synthPeers), c.synthPeers);
        EXPECT_EQ(peersOnceSettled(peers.padsOut, c.padsPeers), c.padsPeers);
        EXPECT_EQ(peersOnceSettled(peers.keysOut, c.keysPeers), c.keysPeers);
        EXPECT_EQ((*opened)->midiProblem(), c.problem);
        EXPECT_EQ((*opened)->reconnectMidi(), "") << "nothing changed since the start";
    }
}

TEST(MidiPortsOnJack, AChosenPortThatGoesAndComesBackIsConnectedAgainByName)
{
    SKIP_WITHOUT_JACKD()
    JackDummyServer server;
    ASSERT_TRUE(server.isReady()) << server.failure();
    JackPortOwner synth("Sÿnth Ü", "Eingang 1", Direction::Input);
    JackPortOwner keys("Keys", "MIDI out: 2", Direction::Output);
    ASSERT_TRUE(synth.isReady() && keys.isReady());
    AudioOutRequest request;
    request.midiOut = MidiPortChoice::named("Sÿnth Ü:Eingang 1");
    request.midiIn = MidiPortChoice::named("Keys:MIDI out: 2");
    auto opened = openJackAudioOut(request);
    ASSERT_TRUE(opened) << opened.error().detail;
    AudioOut& out = **opened;
    const sound::Wakeup watch;
    out.notifyOnLoss(&watch);
    ClickSource quiet(0, 1000, /*armed=*/false);
    ASSERT_TRUE(out.start(quiet));
    ASSERT_THAT(peersOnceSettled(synth, {"Taktwerk:midi_out"}), ElementsAre("Taktwerk:midi_out"));
    (void)watch.wait(std::chrono::milliseconds(0));  // what starting may have said

    synth.removePort();
    EXPECT_TRUE(watch.wait(kNotificationWait)) << "the watch thread hears of it";
    EXPECT_EQ(out.reconnectMidi(), "MIDI port \"Sÿnth Ü:Eingang 1\" not found");
    EXPECT_EQ(out.midiProblem(), "MIDI port \"Sÿnth Ü:Eingang 1\" not found");
    EXPECT_EQ(out.reconnectMidi(), "") << "said once";

    ASSERT_TRUE(synth.addPort());
    EXPECT_TRUE(watch.wait(kNotificationWait));
    EXPECT_EQ(out.reconnectMidi(), "MIDI port \"Sÿnth Ü:Eingang 1\" connected");
    EXPECT_THAT(peersOnceSettled(synth, {"Taktwerk:midi_out"}), ElementsAre("Taktwerk:midi_out"));
    EXPECT_EQ(out.midiProblem(), "");

    // Gone and back before the watch thread looked: its registration still tells.
    keys.removePort();
    ASSERT_TRUE(keys.addPort());
    const auto giveUp = std::chrono::steady_clock::now() + kNotificationWait;
    std::string said;
    while (said.empty() && std::chrono::steady_clock::now() < giveUp) {
        (void)watch.wait(std::chrono::milliseconds(100));
        said = out.reconnectMidi();
    }
    EXPECT_EQ(said, "MIDI port \"Keys:MIDI out: 2\" connected");
    EXPECT_THAT(peersOnceSettled(keys, {"Taktwerk:midi_in"}), ElementsAre("Taktwerk:midi_in"));

    // Disconnected by hand in a patchbay, it stays so: that is the user's choice too.
    synth.disconnect();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(out.reconnectMidi(), "");
    EXPECT_THAT(peersOnceSettled(synth, {}), IsEmpty());
    out.stop();
}

// Another choice in the settings while playing: what we connected for the old one goes, what
// the user connected by hand stays, and the new one is connected at once or on the next start.
TEST(MidiPortsOnJack, AnotherChoiceMovesOnlyTheConnectionsMadeForTheOldOne)
{
    SKIP_WITHOUT_JACKD()
    JackDummyServer server;
    ASSERT_TRUE(server.isReady()) << server.failure();
    JackPortOwner first("A Synth", "in", Direction::Input);
    JackPortOwner brain("Drum Brain", "in: kick/snare", Direction::Input);
    JackPortOwner pads("Pads", "out", Direction::Output);
    JackPortOwner byHand("Looper", "in", Direction::Input);
    ASSERT_TRUE(first.isReady() && brain.isReady() && pads.isReady() && byHand.isReady());
    auto opened = openJackAudioOut(AudioOutRequest{});
    ASSERT_TRUE(opened) << opened.error().detail;
    AudioOut& out = **opened;
    ClickSource quiet(0, 1000, /*armed=*/false);
    ASSERT_TRUE(out.start(quiet));
    ASSERT_THAT(peersOnceSettled(first, {"Taktwerk:midi_out"}), ElementsAre("Taktwerk:midi_out"))
        << "the default";
    ASSERT_TRUE(byHand.connect("Taktwerk:midi_out"));

    const struct {
        MidiPortChoice out;
        MidiPortChoice in;
        std::vector<std::string> firstPeers, brainPeers, padsPeers;
    } steps[] = {
        {MidiPortChoice::named("Drum Brain:in: kick/snare"),
         MidiPortChoice::named("Pads:out"),
         {},
         {"Taktwerk:midi_out"},
         {"Taktwerk:midi_in"}},
        {MidiPortChoice::none(), MidiPortChoice::none(), {}, {}, {}},
        {MidiPortChoice::firstPort(),
         MidiPortChoice::named("Pads:out"),
         {"Taktwerk:midi_out"},
         {},
         {"Taktwerk:midi_in"}},
        {MidiPortChoice::named("Drum Brain:in: kick/snare"),
         MidiPortChoice::none(),
         {},
         {"Taktwerk:midi_out"},
         {}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.out.name + " / " + step.in.name);
        EXPECT_TRUE(out.chooseMidiPorts(step.out, step.in));
        EXPECT_EQ(peersOnceSettled(first, step.firstPeers), step.firstPeers);
        EXPECT_EQ(peersOnceSettled(brain, step.brainPeers), step.brainPeers);
        EXPECT_EQ(peersOnceSettled(pads, step.padsPeers), step.padsPeers);
        EXPECT_EQ(out.midiProblem(), "");
    }
    // Chosen while stopped (the window's output asleep): the old one does not come back.
    out.stop();
    EXPECT_TRUE(out.chooseMidiPorts(MidiPortChoice::firstPort(), MidiPortChoice::none()));
    ASSERT_TRUE(out.start(quiet));
    EXPECT_THAT(peersOnceSettled(first, {"Taktwerk:midi_out"}), ElementsAre("Taktwerk:midi_out"));
    EXPECT_THAT(peersOnceSettled(brain, {}), IsEmpty());
    EXPECT_TRUE(out.chooseMidiPorts(MidiPortChoice::named("Gone:in"), MidiPortChoice::none()));
    EXPECT_THAT(peersOnceSettled(first, {}), IsEmpty());
    EXPECT_EQ(out.midiProblem(), "MIDI port \"Gone:in\" not found");
    EXPECT_THAT(peersOnceSettled(byHand, {"Taktwerk:midi_out"}), ElementsAre("Taktwerk:midi_out"))
        << "the user's own";
    out.stop();
}

}  // namespace
}  // namespace taktwerk::devices
