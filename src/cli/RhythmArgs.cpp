#include "cli/RhythmArgs.h"

#include "core/Language.h"
#include "core/Paths.h"
#include "core/Profile.h"
#include "devices/LibraryNoise.h"
#include "pattern/Meter.h"
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

core::Result<double> parseSeconds(std::string_view text, double max)
{
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    // 1e400 overflows to an error, yet it is a number too great, not a typing mistake.
    const bool tooGreat = error == std::errc::result_out_of_range && !text.starts_with("-") &&
                          end == text.data() + text.size();
    if (tooGreat || (error == std::errc{} && end == text.data() + text.size() && value > max))
        return core::fail(core::translated("--seconds can be at most %s (24 hours)",
                                           {std::to_string(static_cast<long long>(max))}));
    if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value) ||
        value <= 0.0)
        return core::fail(core::translated("--seconds needs a number of seconds above 0"));
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
    const auto status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        printError(err, command, core::translated("The file \"%s\" does not exist.", {file}));
        return std::nullopt;
    }
    // A loop of links or a folder we may not enter: the file may well be there.
    if (error) {
        printError(err, command, core::translated("The file \"%s\" cannot be read.", {file}),
                   error.message());
        return std::nullopt;
    }
    const auto profile = core::ProfileFile::open(path);
    if (!profile) {
        printError(err, command, profile.error().message, profile.error().detail);
        return std::nullopt;
    }
    if (!profile->hasSection("Settings") && !profile->hasSection("RhythmData"))
        printError(err, command,
                   core::translated("warning: \"%s\" holds no rhythm (no [Settings] or "
                                    "[RhythmData] section); it loads as the default rhythm",
                                    {file}));
    const rhythms::Rhythm startUp;
    return rhythms::loadRhythm(*profile, startUp, /*beginner=*/false).rhythm;
}

int reportSilentVoices(std::ostream& err, std::string_view command, const sound::VoiceSet& voices,
                       const std::vector<sound::VoiceId>& played)
{
    int sounding = 0;
    for (const sound::VoiceId voice : played) {
        const auto slot = static_cast<std::size_t>(sound::index(voice));
        if (voices.samples[slot]) {
            ++sounding;
            continue;
        }
        const std::string file = core::utf8FromPath(voices.sources[slot].file);
        printError(err, command,
                   voices.problems[slot].empty()
                       ? core::translated("warning: %s is silent: \"%s\" did not load",
                                          {sound::voiceName(voice), file})
                       : core::translated("warning: %s is silent: \"%s\" %s",
                                          {sound::voiceName(voice), file, voices.problems[slot]}));
    }
    return sounding;
}

void printLibraryNoise(std::ostream& err, std::string_view command)
{
    for (const std::string& line : devices::takeLibraryNoise())
        printError(err, command, core::translated("warning: %s", {line}));
}

}  // namespace taktwerk::cli
