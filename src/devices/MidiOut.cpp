#include "devices/MidiOut.h"

#include "core/Language.h"

#include <RtMidi.h>
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

core::Result<std::unique_ptr<MidiOut>> MidiOut::open(const MidiPortChoice& choice,
                                                     const std::string& clientName)
{
    if (choice.kind == MidiPortChoice::Kind::None)
        return core::fail(core::translated("No MIDI output chosen."));
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
            auto port = std::make_unique<RtMidiOut>(api, clientName);
            std::vector<std::string> names;
            const unsigned int count = port->getPortCount();
            for (unsigned int index = 0; index < count; ++index)
                names.push_back(port->getPortName(index));
            const auto chosen = chooseMidiPort(names, choice);
            if (!chosen) {
                detail +=
                    RtMidi::getApiDisplayName(api) + (choice.kind == MidiPortChoice::Kind::Named
                                                          ? ": no port of that name. "
                                                          : ": no output port but pass-throughs. ");
                continue;
            }
            port->openPort(static_cast<unsigned int>(*chosen), "midi_out");
            return std::make_unique<MidiOut>(Key{}, std::move(port), names[*chosen]);
        } catch (const RtMidiError& error) {
            detail += RtMidi::getApiDisplayName(api) + ": " + error.getMessage() + " ";
        }
    }
    if (choice.kind == MidiPortChoice::Kind::Named)
        return core::fail(core::translated(kMidiPortNotFound, {choice.name}), detail);
    return core::fail(core::translated("No MIDI output found."), detail);
}

MidiOut::MidiOut(Key, std::unique_ptr<RtMidiOut> port, std::string portName)
    : port_(std::move(port)), portName_(std::move(portName))
{
    // From here on RtMidi reports send errors to us instead of throwing them.
    port_->setErrorCallback(
        [](RtMidiError::Type type, const std::string&, void* self) {
            if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
                static_cast<MidiOut*>(self)->sendFailures_.fetch_add(1, std::memory_order_relaxed);
        },
        this);
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

}  // namespace taktwerk::devices
