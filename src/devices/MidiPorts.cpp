#include "devices/MidiPorts.h"

#include "devices/JackHandles.h"

#include <RtMidi.h>
#include <algorithm>
#include <unistd.h>

namespace taktwerk::devices {

namespace {

// RtMidi prints to the terminal when its ALSA client cannot start, before any callback of ours
// can take the message; without the sequencer's device it cannot, so it is not asked.
bool hasAlsaSequencer() { return ::access("/dev/snd/seq", R_OK | W_OK) == 0; }

template <typename Port>
std::vector<std::string> portNamesOf(Port& port)
{
    std::vector<std::string> names;
    const unsigned int count = port.getPortCount();
    for (unsigned int index = 0; index < count; ++index)
        names.push_back(port.getPortName(index));
    return names;
}

// An ALSA port's name ends in its address, " client:port". The client number is handed out
// as devices come, so the same controller plugged in later or into another socket has another:
// the name without it, and the port number, say which port of which device it is. Nullopt for
// a name without an address (JACK's).
std::optional<std::pair<std::string_view, std::string_view>>
withoutClientNumber(std::string_view name)
{
    const auto digits = [](std::string_view text) {
        return !text.empty() && text.size() <= 3 &&
               std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    const std::size_t space = name.rfind(' ');
    if (space == std::string_view::npos)
        return std::nullopt;
    const std::string_view address = name.substr(space + 1);
    const std::size_t colon = address.find(':');
    if (colon == std::string_view::npos || !digits(address.substr(0, colon)) ||
        !digits(address.substr(colon + 1)))
        return std::nullopt;
    return std::pair{name.substr(0, space), address.substr(colon + 1)};
}

}  // namespace

std::optional<std::size_t> chooseMidiPort(const std::vector<std::string>& portNames,
                                          const MidiPortChoice& choice)
{
    switch (choice.kind) {
    case MidiPortChoice::Kind::None:
        return std::nullopt;
    case MidiPortChoice::Kind::Named: {
        const auto found = std::find(portNames.begin(), portNames.end(), choice.name);
        if (found != portNames.end())
            return static_cast<std::size_t>(found - portNames.begin());
        const auto chosen = withoutClientNumber(choice.name);
        if (!chosen)
            return std::nullopt;
        const auto moved =
            std::find_if(portNames.begin(), portNames.end(), [&](const std::string& name) {
                return withoutClientNumber(name) == chosen;
            });
        if (moved == portNames.end())
            return std::nullopt;
        return static_cast<std::size_t>(moved - portNames.begin());
    }
    case MidiPortChoice::Kind::FirstPort:
        break;
    }
    for (std::size_t index = 0; index < portNames.size(); ++index) {
        if (portNames[index].find("Through") == std::string::npos)
            return index;
    }
    return std::nullopt;
}

core::Result<std::vector<std::string>> listJackMidiPorts(MidiDirection direction,
                                                         const std::string& ownClient)
{
    jack_status_t status{};
    JackClientHandle client;
    {
        const QuietJackErrors quiet;
        // A client of its own, without ports, so that listing works before, beside and after
        // our output and never disturbs its connections.
        client.reset(jack_client_open((ownClient + " ports").c_str(), JackNoStartServer, &status));
    }
    if (!client)
        return core::fail(core::translated("No JACK server found."),
                          "jack_client_open: status " + std::to_string(static_cast<int>(status)));
    const unsigned long flags =
        direction == MidiDirection::Output ? JackPortIsInput : JackPortIsOutput;
    const JackPortList ports(jack_get_ports(client.get(), nullptr, JACK_DEFAULT_MIDI_TYPE, flags));
    const std::string ownPrefix = ownClient + ":";
    std::vector<std::string> names;
    for (std::size_t at = 0; ports && ports[at]; ++at) {
        const std::string name = ports[at];
        if (name.rfind(ownPrefix, 0) != 0)
            names.push_back(name);
    }
    return names;
}

std::vector<std::string> listAlsaMidiPorts(MidiDirection direction, const std::string& ownClient)
{
    if (!hasAlsaSequencer())
        return {};
    std::vector<std::string> names;
    try {
        if (direction == MidiDirection::Output) {
            RtMidiOut port(RtMidi::LINUX_ALSA, ownClient + " ports");
            names = portNamesOf(port);
        } else {
            RtMidiIn port(RtMidi::LINUX_ALSA, ownClient + " ports");
            names = portNamesOf(port);
        }
    } catch (const RtMidiError&) {
        // A sequencer that refuses a client has no ports to offer.
        return {};
    }
    const std::string ownPrefix = ownClient + ":";
    std::erase_if(names, [&](const std::string& name) { return name.rfind(ownPrefix, 0) == 0; });
    return names;
}

MidiPortList listMidiPorts(MidiDirection direction, const std::string& ownClient)
{
    if (auto jack = listJackMidiPorts(direction, ownClient))
        return {true, std::move(*jack)};
    return {false, listAlsaMidiPorts(direction, ownClient)};
}

}  // namespace taktwerk::devices
