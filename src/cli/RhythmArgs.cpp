#include "cli/RhythmArgs.h"

#include "rhythms/RhythmLoad.h"

#include <charconv>
#include <cmath>

namespace taktwerk::cli {

std::optional<long long> parseWhole(std::string_view text, long long min, long long max)
{
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<double> parsePositive(std::string_view text, double max)
{
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value) ||
        value <= 0.0 || value > max)
        return std::nullopt;
    return value;
}

void printError(std::ostream& err, std::string_view command, const std::string& message,
                const std::string& detail)
{
    std::string line = "taktwerk " + std::string(command) + ": " + message;
    if (!detail.empty())
        line += " (" + detail + ")";
    for (char& c : line) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    err << line << '\n';
}

std::optional<rhythms::Rhythm> loadRhythmForCommand(std::string_view command, std::string_view file,
                                                    std::ostream& err)
{
    // A missing file loads the default rhythm in the window; here it is surely a typing
    // mistake, and playing the default rhythm instead would mislead.
    const std::filesystem::path path(file);
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        printError(err, command, "Die Datei \"" + std::string(file) + "\" gibt es nicht.");
        return std::nullopt;
    }
    const rhythms::Rhythm startUp;
    auto loaded = rhythms::loadRhythmFile(path, startUp, /*beginner=*/false);
    if (!loaded) {
        printError(err, command, loaded.error().message, loaded.error().detail);
        return std::nullopt;
    }
    return loaded->rhythm;
}

std::array<pattern::Row, pattern::kTrackCount> rowsOf(const rhythms::Rhythm& rhythm)
{
    return rhythm.pattern.rows();
}

std::uint16_t mutesOf(const rhythms::Rhythm& rhythm) { return rhythm.mutes.bits(); }

sound::SoundChoice soundChoiceOf(const rhythms::Rhythm& rhythm,
                                 const std::filesystem::path& soundDir)
{
    sound::SoundChoice choice;
    choice.soundDir = soundDir;
    choice.soundSet = rhythm.SoundSet;
    choice.snareChoice = rhythm.SnareChoice;
    choice.rideChoice = rhythm.RideChoice;
    choice.tomSounds = {rhythm.Tom1Sound, rhythm.Tom2Sound, rhythm.Tom3Sound};
    return choice;
}

}  // namespace taktwerk::cli
