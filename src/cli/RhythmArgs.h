#pragma once
// What the playing sub-commands (render, export-midi, play) share: reading their options,
// loading the rhythm as the window would, and turning it into what the sound side takes.
// Main thread of the command line.

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

namespace taktwerk::cli {

// The words after the sub-command's name, taken one by one.
class ArgReader {
public:
    explicit ArgReader(std::span<const std::string_view> args) : args_(args) {}
    bool done() const noexcept { return at_ >= args_.size(); }
    std::string_view next() noexcept { return args_[at_++]; }
    // The value after an option; nothing when the option is the last word.
    std::optional<std::string_view> value() noexcept
    {
        if (done())
            return std::nullopt;
        return next();
    }

private:
    std::span<const std::string_view> args_;
    std::size_t at_ = 0;
};

// A whole number in [min, max], nothing else.
std::optional<long long> parseWhole(std::string_view text, long long min, long long max);
// A decimal number in (0, max].
std::optional<double> parsePositive(std::string_view text, double max);

// Loads `file` as the window loads a rhythm on top of the start-up state. On failure prints
// one line "taktwerk COMMAND: reason" on `err`.
std::optional<rhythms::Rhythm> loadRhythmForCommand(std::string_view command, std::string_view file,
                                                    std::ostream& err);

// The rows and mutes of a rhythm as the sound side takes them.
std::array<pattern::Row, pattern::kTrackCount> rowsOf(const rhythms::Rhythm& rhythm);
std::uint16_t mutesOf(const rhythms::Rhythm& rhythm);

// The rhythm's sample set in the program's sound folder (`SoundDir`).
sound::SoundChoice soundChoiceOf(const rhythms::Rhythm& rhythm,
                                 const std::filesystem::path& soundDir);

// Prints "taktwerk COMMAND: message (detail)" as one line.
void printError(std::ostream& err, std::string_view command, const std::string& message,
                const std::string& detail = {});

}  // namespace taktwerk::cli
