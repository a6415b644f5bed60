#include "devices/MidiOut.h"

#include "core/Language.h"

#include <RtMidi.h>
#include <algorithm>
#include <thread>
#include <unistd.h>
#include <utility>

namespace taktwerk::devices {

namespace {

constexpr std::uint8_t kControlChange = 0xB0;
constexpr std::uint8_t kAllNotesOffController = 123;

// JACK MIDI is served by our own JACK client, frame-exact inside the audio cycle; RtMidi's
// JACK port would only add a second, cycle-quantised one.
bool isTimedMidiApi(RtMidi::Api api)
{
    return api != RtMidi::UNIX_JACK && api != RtMidi::RTMIDI_DUMMY && api != RtMidi::UNSPECIFIED;
}

// RtMidi prints to the terminal when its ALSA client cannot start, before any callback of ours
// can take the message; without the sequencer's device it cannot, so it is not asked.
bool hasAlsaSequencer() { return ::access("/dev/snd/seq", R_OK | W_OK) == 0; }

}  // namespace

std::optional<std::size_t> firstUsableMidiPort(const std::vector<std::string>& portNames)
{
    return chooseMidiPort(portNames, MidiPortChoice::firstPort());
}

std::array<MidiShortMessage, kMidiChannels> allNotesOffMessages() noexcept
{
    std::array<MidiShortMessage, kMidiChannels> messages{};
    for (int channel = 0; channel < kMidiChannels; ++channel) {
        messages[static_cast<std::size_t>(channel)] = {
            static_cast<std::uint8_t>(kControlChange + channel), kAllNotesOffController, 0};
    }
    return messages;
}

namespace {

// The port `choice` names among those of RtMidi's timed back ends, opened as ours named
// `ourPortName`, with its full name; else why not, for each back end. `Port` is RtMidiOut or
// RtMidiIn.
template <typename Port>
core::Result<std::pair<std::unique_ptr<Port>, std::string>>
openChosenPort(const MidiPortChoice& choice, const std::string& clientName, const char* ourPortName,
               const char* noPortButThrough)
{
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    std::string detail;
    for (const RtMidi::Api api : apis) {
        if (!isTimedMidiApi(api))
            continue;
        if (api == RtMidi::LINUX_ALSA && !hasAlsaSequencer()) {
            detail += RtMidi::getApiDisplayName(api) + ": no /dev/snd/seq. ";
            continue;
        }
        try {
            auto port = std::make_unique<Port>(api, clientName);
            std::vector<std::string> names;
            const unsigned int count = port->getPortCount();
            for (unsigned int index = 0; index < count; ++index)
                names.push_back(port->getPortName(index));
            const auto chosen = chooseMidiPort(names, choice);
            if (!chosen) {
                detail += RtMidi::getApiDisplayName(api) +
                          (choice.kind == MidiPortChoice::Kind::Named ? ": no port of that name. "
                                                                      : noPortButThrough);
                continue;
            }
            port->openPort(static_cast<unsigned int>(*chosen), ourPortName);
            return std::pair{std::move(port), names[*chosen]};
        } catch (const RtMidiError& error) {
            detail += RtMidi::getApiDisplayName(api) + ": " + error.getMessage() + " ";
        }
    }
    return core::fail(core::translated(kMidiPortNotFound, {choice.name}), detail);
}

// Whether `portName` has gone from the sequencer's ports in `direction`, looked up by a client of
// its own, so that the open port is never touched from this thread. The exact name: a device
// plugged in anew under another client number is another connection, which ours is not. A list
// without any port at all says only that the sequencer refused to list.
bool goneFromSequencer(MidiDirection direction, const std::string& clientName,
                       const std::string& portName)
{
    const std::vector<std::string> names = listAlsaMidiPorts(direction, clientName);
    return !names.empty() && std::find(names.begin(), names.end(), portName) == names.end();
}

}  // namespace

core::Result<std::unique_ptr<MidiOut>> MidiOut::open(const MidiPortChoice& choice,
                                                     const std::string& clientName)
{
    if (choice.kind == MidiPortChoice::Kind::None)
        return core::fail(core::translated("No MIDI output chosen."));
    auto opened = openChosenPort<RtMidiOut>(choice, clientName, "midi_out",
                                            ": no output port but pass-throughs. ");
    if (!opened) {
        if (choice.kind == MidiPortChoice::Kind::Named)
            return core::Unexpected<core::Error>(opened.error());
        return core::fail(core::translated("No MIDI output found."), opened.error().detail);
    }
    return std::make_unique<MidiOut>(Key{}, std::move(opened->first), std::move(opened->second),
                                     clientName);
}

MidiOut::MidiOut(Key, std::unique_ptr<RtMidiOut> port, std::string portName, std::string clientName)
    : port_(std::move(port)), portName_(std::move(portName)), clientName_(std::move(clientName))
{
    // From here on RtMidi reports send errors to us instead of throwing them.
    port_->setErrorCallback(
        [](RtMidiError::Type type, const std::string&, void* self) {
            if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
                static_cast<MidiOut*>(self)->sendFailures_.fetch_add(1, std::memory_order_relaxed);
        },
        this);
}

bool MidiOut::isGone() const
{
    return goneFromSequencer(MidiDirection::Output, clientName_, portName_);
}

MidiOut::~MidiOut()
{
    allNotesOff();
    // RtMidiOut's destructor closes the port.
}

bool MidiOut::sendNow(const std::uint8_t* bytes, std::size_t size) noexcept
{
    const std::uint32_t failuresBefore = sendFailures_.load(std::memory_order_relaxed);
    try {
        port_->sendMessage(bytes, size);
    } catch (const RtMidiError&) {
        sendFailures_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    return sendFailures_.load(std::memory_order_relaxed) == failuresBefore;
}

void MidiOut::send(const TimedMidiMessage& message) noexcept
{
    // A failed send is counted in sendFailures(); the next hit tries again.
    (void)sendNow(message.bytes.data(), message.size);
}

void MidiOut::allNotesOff() noexcept
{
    for (const auto& message : allNotesOffMessages())
        (void)sendNow(message.data(), message.size());  // counted like any failed send
}

core::Result<std::unique_ptr<MidiIn>> MidiIn::open(const MidiPortChoice& choice,
                                                   const std::string& clientName)
{
    // Nothing plays the pads unless the user chose what: a keyboard on the first port may be
    // meant for another program.
    if (choice.kind != MidiPortChoice::Kind::Named)
        return core::fail(core::translated("No MIDI input chosen."));
    auto opened = openChosenPort<RtMidiIn>(choice, clientName, "midi_in", ": no input port. ");
    if (!opened)
        return core::Unexpected<core::Error>(opened.error());
    return std::make_unique<MidiIn>(Key{}, std::move(opened->first), std::move(opened->second),
                                    clientName);
}

MidiIn::MidiIn(Key, std::unique_ptr<RtMidiIn> port, std::string portName, std::string clientName)
    : port_(std::move(port)), portName_(std::move(portName)), clientName_(std::move(clientName))
{
    // The clock and its start and stop are wanted (to follow a master); system exclusive and
    // active sensing are not.
    port_->ignoreTypes(true, false, true);
    port_->setCallback(
        [](double, std::vector<unsigned char>* message, void* self) {
            if (message != nullptr)
                static_cast<MidiIn*>(self)->arrived(*message);
        },
        this);
    // Reported errors (a full buffer, a vanished port) are not thrown at RtMidi's thread.
    port_->setErrorCallback([](RtMidiError::Type, const std::string&, void*) {}, nullptr);
}

bool MidiIn::isGone() const
{
    return goneFromSequencer(MidiDirection::Input, clientName_, portName_);
}

MidiIn::~MidiIn()
{
    deliverTo(nullptr);
    port_->cancelCallback();
    // RtMidiIn's destructor closes the port.
}

void MidiIn::deliverTo(TimedMidiInput* input) noexcept
{
    input_.store(input);
    // A delivery that read the old input may still be on its way; the next one reads the new.
    while (delivering_.load() != 0)
        std::this_thread::yield();
}

void MidiIn::arrived(const std::vector<unsigned char>& message) noexcept  // RtMidi's thread
{
    const auto at = MidiClock::now();
    delivering_.fetch_add(1);
    if (TimedMidiInput* input = input_.load())
        (void)input->arrived(at, message.data(), message.size());  // a drop is counted there
    delivering_.fetch_sub(1);
}

}  // namespace taktwerk::devices
