#include "cli/InfoCommand.h"

#include "cli/CommandOptions.h"
#include "cli/RhythmArgs.h"

#include <array>
#include <cstdio>
#include <optional>

namespace taktwerk::cli {

namespace {

constexpr std::string_view kUsage = "usage: taktwerk info FILE.rtm [--json]\n";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// The length of the valid UTF-8 sequence at the start of `text`, 0 when it is not one
// (overlong forms, surrogates and code points past U+10FFFF are not valid).
std::size_t validSequence(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    char32_t code = 0;
    char32_t smallest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
        smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
        smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
        smallest = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0u) != 0x80u)
            return 0;
        code = (code << 6) | (byte(i) & 0x3Fu);
    }
    if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

std::string number(int value) { return std::to_string(value); }

std::string velocityList(const pattern::VelocityRow& row, std::string_view separator)
{
    std::string text;
    for (const std::uint8_t velocity : row)
        text += (text.empty() ? "" : std::string(separator)) + number(velocity);
    return text;
}

std::string swingText(const rhythms::Rhythm& rhythm)
{
    if (rhythm.swing.isStraight())
        return "straight";
    std::string text = number(rhythm.swing.percent) + " % on " +
                       (rhythm.swing.note == pattern::SwingNote::Eighth ? "8ths" : "16ths");
    if (rhythm.Interval != pattern::kSwingInterval)
        text += " (heard at 4 steps per beat only)";
    return text;
}

void printText(const rhythms::Rhythm& rhythm, std::ostream& out)
{
    out << "Name:   " << rhythm.name << '\n'
        << "Tempo:  " << rhythm.Bpm << " BPM\n"
        << "Meter:  " << rhythm.Interval << " steps per beat, loop of " << rhythm.Beats
        << " steps\n"
        << "Swing:  " << swingText(rhythm) << '\n'
        << "Sound:  " << rhythm.SoundSet << " (snare " << rhythm.SnareChoice << ", ride "
        << rhythm.RideChoice << ")\n"
        << "Toms:   " << rhythm.Tom1Sound << ", " << rhythm.Tom2Sound << ", " << rhythm.Tom3Sound
        << "\n\n";
    for (int track = 0; track < pattern::kTrackCount; ++track) {
        const auto slot = static_cast<std::size_t>(track);
        out << pattern::kTrackKeys[slot] << "  " << rhythm.pattern.RowToPattern(track)
            << (rhythm.mutes.isMuted(track) ? "  muted" : "") << '\n';
        if (!rhythm.pattern.hasDefaultVelocities(track))
            out << "    velocity " << velocityList(rhythm.pattern.velocities()[slot], ",") << '\n';
    }
}

}  // namespace

std::string jsonString(std::string_view text)
{
    std::string json = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        const std::size_t length = validSequence(text.substr(at));
        if (length == 0) {
            json += kReplacement;
            ++at;
            continue;
        }
        if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (c == '\n') {
            json += "\\n";
        } else if (c == '\r') {
            json += "\\r";
        } else if (c == '\t') {
            json += "\\t";
        } else if (c < 0x20) {
            std::array<char, 7> escape{};
            std::snprintf(escape.data(), escape.size(), "\\u%04x", static_cast<unsigned>(c));
            json += escape.data();
        } else {
            json += text.substr(at, length);
        }
        at += length;
    }
    return json + "\"";
}

std::string rhythmJson(const rhythms::Rhythm& rhythm)
{
    std::string json = "{\"name\": " + jsonString(rhythm.name);
    json += ", \"bpm\": " + number(rhythm.Bpm);
    json += ", \"interval\": " + number(rhythm.Interval);
    json += ", \"beats\": " + number(rhythm.Beats);
    json += ", \"sound\": " + jsonString(rhythm.SoundSet);
    json += ", \"snare\": " + number(rhythm.SnareChoice);
    json += ", \"ride\": " + number(rhythm.RideChoice);
    json += ", \"toms\": [" + jsonString(rhythm.Tom1Sound) + ", " + jsonString(rhythm.Tom2Sound) +
            ", " + jsonString(rhythm.Tom3Sound) + "]";
    std::string tracks;
    std::string mutes;
    std::string velocities;
    for (int track = 0; track < pattern::kTrackCount; ++track) {
        const auto slot = static_cast<std::size_t>(track);
        const std::string separator = track == 0 ? "" : ", ";
        const std::string key = jsonString(pattern::kTrackKeys[slot]) + ": ";
        tracks += separator + key + jsonString(rhythm.pattern.RowToPattern(track));
        mutes += separator + key + (rhythm.mutes.isMuted(track) ? "true" : "false");
        velocities +=
            separator + key + "[" + velocityList(rhythm.pattern.velocities()[slot], ", ") + "]";
    }
    json += ", \"tracks\": {" + tracks + "}";
    json += ", \"mute\": {" + mutes + "}";
    json += ", \"swing\": {\"percent\": " + number(rhythm.swing.percent) +
            ", \"note\": " + number(static_cast<int>(rhythm.swing.note)) + "}";
    json += ", \"velocity\": {" + velocities + "}}";
    return json;
}

int runInfo(std::span<const std::string_view> args, std::ostream& out, std::ostream& err)
{
    bool json = false;
    std::string file;
    CommandOptions options;
    options.positional("FILE", file);
    options.flag("--json", json);
    const auto parsed = options.parse(args);
    if (!parsed || file.empty()) {
        if (!parsed)
            printError(err, "info", parsed.error().message);
        err << kUsage;
        return 2;
    }

    // Loaded on top of the state a fresh start has before any rhythm is loaded (tempo 120, 4
    // steps per beat, a loop of 16 steps), as the other commands load it.
    const auto rhythm = loadRhythmForCommand("info", file, err);
    if (!rhythm)
        return 2;
    if (json)
        out << rhythmJson(*rhythm) << '\n';
    else
        printText(*rhythm, out);
    return 0;
}

}  // namespace taktwerk::cli
