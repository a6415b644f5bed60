#pragma once
// What the playing sub-commands (render, export-midi, play) share: reading their options,
// loading the rhythm as the window would, and turning it into what the sound side takes.
// Main thread of the command line.

#include "app/Export.h"
#include "core/Result.h"
#include "rhythms/Rhythm.h"
#include "sound/VoiceSet.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace taktwerk::cli {

// A whole number in [min, max], nothing else.
std::optional<long long> parseWhole(std::string_view text, long long min, long long max);
// A decimal number in (0, max].
std::optional<double> parsePositive(std::string_view text, double max);
// The value of --seconds, in (0, max]; the message names the bound that was missed.
core::Result<double> parseSeconds(std::string_view text, double max);

// Loads `file` as the window loads a rhythm on top of the start-up state. A missing or
// unreadable file is refused with one line "taktwerk COMMAND: reason" on `err`, the same for
// every command. A file without a [Settings] or [RhythmData] section (a sound file, junk) loads
// as the window loads it, as the default rhythm, and the line says that it holds no rhythm.
std::optional<rhythms::Rhythm> loadRhythmForCommand(std::string_view command, std::string_view file,
                                                    std::ostream& err);

// The voices the rhythm plays (app/Export.h).
using app::playedVoices;

// Tells, one line each, which of `played` stay silent in `voices` ("bass drum", the file, why).
// Returns how many of them sound.
int reportSilentVoices(std::ostream& err, std::string_view command, const sound::VoiceSet& voices,
                       const std::vector<sound::VoiceId>& played);

// Prints what the libraries below said meanwhile (ALSA, FluidSynth, GLib), one line each.
void printLibraryNoise(std::ostream& err, std::string_view command);

// Prints "taktwerk COMMAND: message (detail)" as one line.
void printError(std::ostream& err, std::string_view command, const std::string& message,
                const std::string& detail = {});

}  // namespace taktwerk::cli
