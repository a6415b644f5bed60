#pragma once
// Which MIDI ports our notes may go to and our pads may be played from, by the full names the
// sound system gives them, and which one the user chose. Lists are made on the control thread
// (the settings dialog, `taktwerk ports`); looking never opens or connects a port.

#include "core/Language.h"
#include "core/Result.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace taktwerk::devices {

// What the user chose for one direction. A name is matched exactly: a port that merely looks
// alike could be another machine in the studio.
struct MidiPortChoice {
    enum class Kind : std::uint8_t {
        FirstPort,  // "MIDI output device 0": what a settings file without a choice has always had
        None,       // no port at all
        Named,
    };
    Kind kind = Kind::FirstPort;
    std::string name;  // Named only

    static MidiPortChoice firstPort() { return {}; }
    static MidiPortChoice none() { return {Kind::None, {}}; }
    static MidiPortChoice named(std::string portName) { return {Kind::Named, std::move(portName)}; }
    bool operator==(const MidiPortChoice&) const = default;
};

// The word for "no port" on the command line and in the settings file. Every port name the
// sound systems give holds a colon ("client:port"), so it can never be a port's.
inline constexpr std::string_view kNoMidiPort = "none";

// Index of the port `choice` means among `portNames`, in the system's order; nullopt for None
// and for a name that is not there. A name is matched exactly; failing that, an ALSA port's
// under another client number (its device plugged in anew) is the same port. The first port skips
// pass-through ports: they would only forward our notes to whatever else listens (often nothing).
std::optional<std::size_t> chooseMidiPort(const std::vector<std::string>& portNames,
                                          const MidiPortChoice& choice);

// Said in the caption and on the terminal while a chosen port is missing.
inline constexpr const char* kMidiPortNotFound = core::translatable("MIDI port \"%s\" not found");
inline constexpr const char* kMidiPortConnected = core::translatable("MIDI port \"%s\" connected");

enum class MidiDirection : std::uint8_t {
    Output,  // where our notes and clock can go: other programs' and devices' inputs
    Input,   // what can play our pads or send us clock: their outputs
};

struct MidiPortList {
    bool jack = false;  // JACK ports (a JACK server runs); else ALSA sequencer ports
    std::vector<std::string> names;
};

// The ports of a running JACK server in `direction`, without those of `ownClient` (our own
// output's: our notes must not come back as pads played live); an error when no server runs.
core::Result<std::vector<std::string>> listJackMidiPorts(MidiDirection direction,
                                                         const std::string& ownClient);
// The ALSA sequencer's ports in `direction`, as RtMidi names them, without `ownClient`'s; empty
// without a sequencer.
std::vector<std::string> listAlsaMidiPorts(MidiDirection direction, const std::string& ownClient);
// JACK's when a JACK server runs (the output then is JACK's too), else ALSA's.
MidiPortList listMidiPorts(MidiDirection direction, const std::string& ownClient = "Taktwerk");

}  // namespace taktwerk::devices
