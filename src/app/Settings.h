#pragma once
// The program's folders and its settings file. `InitPaths` decides where everything lives,
// `LoadSettings` creates the missing folders and reads the keys once at start; the writers
// save what the sound dialog and the exit change. A Settings value is owned by
// app::DrumMachine on the GUI thread; others get copies. The process's environment is passed
// in, so tests can point the program anywhere.

#include "core/Result.h"
#include "devices/MidiPorts.h"
#include "playback/SyncSource.h"
#include "sound/MidiInput.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace taktwerk::app {

// What the program learns about its surroundings at start.
struct Environment {
    std::filesystem::path executable;          // the program file, absolute
    std::optional<std::string> taktwerkHome;   // TAKTWERK_HOME: a folder replacing AppDir
    std::optional<std::string> xdgDataHome;    // XDG_DATA_HOME
    std::optional<std::string> xdgConfigHome;  // XDG_CONFIG_HOME
    std::optional<std::string> home;           // HOME, else the user's entry in the system
};

// The running program's file (the one place that asks the system; empty when it cannot say).
std::filesystem::path executablePath();
// The running process's environment.
Environment processEnvironment();

// The master volume's range, in % of full scale; a fresh settings file plays at full volume.
inline constexpr int kFullVolume = 100;

struct Settings {
    std::string AppTitle = "Quorrel Taktwerk";  // also the settings file's section
    std::filesystem::path AppDir;               // the program's folder, ending in a separator
    std::string ExeName;                        // the program file's name without ".exe"
    std::filesystem::path IniFile;              // the settings file
    std::filesystem::path RhythmDir;            // ending in a separator
    std::filesystem::path SoundDir;             // ending in a separator
    // What the program ships (the starter rhythms): <prefix>/share/taktwerk/ for an installed
    // copy, share/taktwerk/ beside a portable one (the build tree mirrors it there); ending
    // in a separator. Only ever read.
    std::filesystem::path shippedDir;
    std::string SoundSet = "Default";
    std::int16_t SoundDevice = 1;       // 1 = MIDI, any other value = sampled voices
    std::int16_t ModeSetting = 0;       // "Beginner Mode" at start: 0 off, 1 on
    std::int16_t ClickNote = 37;        // MIDI note of the count-in click
    std::int16_t Volume = kFullVolume;  // master volume in %, 0 ... kFullVolume
    // "AskToSave": 0 lets New, a load and closing the window drop unsaved changes without a
    // question (they can still be undone until the window closes); anything else asks.
    std::int16_t AskToSave = 1;
    // "HearSteps": a step set while playback is stopped sounds its track once. On unless the
    // file says a plain 0, so a file of the old program hears them.
    bool hearSteps = true;
    bool sendMidiClock = false;  // "Send MIDI clock": off until the user turns it on
    // "SyncSource": "Internal" (our own clock), "MIDI" (follow the MIDI clock coming in) or
    // "JACK" (follow the JACK transport).
    playback::SyncSource sync = playback::SyncSource::Internal;
    // "JackTimebase": on JACK, publish our tempo and meter as the transport's timebase master
    // while playing on our own clock. Off until the user turns it on.
    bool jackTimebase = false;
    // Which pad each note on the MIDI input strikes: section [MIDI In], a key per track ("BD"
    // ... "T3") listing its notes ("BD=36 35"); a track without its key keeps its GM notes, one
    // whose value holds no note ("none") has none.
    sound::DrumNoteMap drumNotes = sound::DrumNoteMap::generalMidi();
    // "MidiOutPort": where the notes and clock go, by the port's full name, or "none"; without
    // the key "MIDI output device 0", the first port, as the program always did.
    devices::MidiPortChoice midiOut;
    // "MidiInPort": the port that plays the pads and sends the clock, or none without the key.
    devices::MidiPortChoice midiIn = devices::MidiPortChoice::none();
    std::string Tom1Sound = "Tom 1";
    std::string Tom2Sound = "Tom 2";
    std::string Tom3Sound = "Tom 3";
};

// Whether we lead the JACK transport: "JackTimebase" is on, and we play on our own clock. While
// following a master the choice waits: leading what we follow would lead in a circle, and
// holding the lead would keep the studio's own master from taking it.
inline bool leadsJackTransport(const Settings& settings)
{
    return settings.jackTimebase && settings.sync == playback::SyncSource::Internal;
}

// Sets AppDir, ExeName, IniFile, RhythmDir, SoundDir and shippedDir. A copy with
// "../share/taktwerk/" beside its folder is installed, wherever its prefix is (/usr,
// /usr/local, ~/.local, /app, /nix/store/...): it keeps rhythms and sounds in
// $XDG_DATA_HOME/taktwerk and its settings in $XDG_CONFIG_HOME/taktwerk/taktwerk.ini, and
// never writes beside itself. Any other copy is portable: it keeps everything in its own
// folder and reads AppDir + ExeName + ".ini" (a copy named "drums" reads drums.ini).
// TAKTWERK_HOME, when set, replaces AppDir and makes any copy portable. Looks at the file
// system only to tell installed from portable.
Settings InitPaths(const Environment& environment);

// Creates the missing folders (a folder that cannot be made stays missing; its lists stay
// empty) and reads the settings file. A missing file, section, key or empty value gives the
// key's default; a number is read by its leading digits, and one that does not fit 16 bits
// leaves the value `settings` held. "SendMIDIClock" and "JackTimebase" are on for "1" only;
// "SyncSource" follows the MIDI clock for "MIDI" and the JACK transport for "JACK" (in any case)
// only. "Volume" is clamped to 0
// ... 100, and text that is no number gives 100: a garbled file must not silence the program.
void LoadSettings(Settings& settings);

// "Mode", written at every exit.
core::Result<void> saveMode(const Settings& settings);
// "Volume", written at an exit after the master volume was changed.
core::Result<void> saveVolume(const Settings& settings);
// "Sound" (only when `writeSound`: a sample set was chosen), "Device" and "MIDIClick", as the
// sound dialog saves them, and "SendMIDIClock", "SyncSource" and "JackTimebase" once each was ever
// set (a file that never had them keeps its old bytes). "AskToSave" and "HearSteps" likewise only
// once one was turned off. "MidiOutPort" and "MidiInPort" only while a port other than the
// default is chosen. Both writers save the file once, atomically.
core::Result<void> saveSoundSettings(const Settings& settings, bool writeSound);

}  // namespace taktwerk::app
