#include "sound/MidiInput.h"

#include <charconv>

namespace taktwerk::sound {
namespace {

constexpr std::uint8_t kStatusBit = 0x80;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kKindMask = 0xF0;
constexpr std::size_t kNoteOnSize = 3;

}  // namespace

DrumNoteMap DrumNoteMap::generalMidi() noexcept
{
    struct Entry {
        int note;
        pattern::Track track;
    };
    using pattern::Track;
    constexpr Entry kEntries[] = {
        {36, Track::BassDrum},  {35, Track::BassDrum},   {38, Track::SnareDrum},
        {40, Track::SnareDrum}, {42, Track::HiHat},      {44, Track::HiHat},
        {46, Track::OpenHiHat}, {51, Track::RideCymbal}, {59, Track::RideCymbal},
        {49, Track::Crash},     {57, Track::Crash},      {48, Track::Tom1},
        {50, Track::Tom1},      {45, Track::Tom2},       {47, Track::Tom2},
        {41, Track::Tom3},      {43, Track::Tom3}};
    DrumNoteMap map;
    for (const Entry& entry : kEntries)
        map.set(entry.note, pattern::index(entry.track));
    return map;
}

void DrumNoteMap::set(int note, int track) noexcept
{
    if (note < 0 || note >= kMidiNoteCount)
        return;
    tracks_[static_cast<std::size_t>(note)] =
        static_cast<std::int8_t>(track >= 0 && track < pattern::kTrackCount ? track : -1);
}

std::string DrumNoteMap::notesText(int track) const
{
    std::string text;
    for (int note = 0; note < kMidiNoteCount; ++note) {
        if (this->track(note) != track)
            continue;
        if (!text.empty())
            text += ' ';
        text += std::to_string(note);
    }
    return text;
}

void DrumNoteMap::setNotesText(int track, std::string_view text)
{
    for (int note = 0; note < kMidiNoteCount; ++note) {
        if (this->track(note) == track)
            set(note, -1);
    }
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find_first_of(" ,;\t", at);
        const std::string_view word =
            text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        int note = -1;
        const auto [rest, error] = std::from_chars(word.data(), word.data() + word.size(), note);
        if (!word.empty() && error == std::errc{} && rest == word.data() + word.size())
            set(note, track);
        if (end == std::string_view::npos)
            break;
        at = end + 1;
    }
}

std::optional<int> noteOnNumber(const std::uint8_t* bytes, std::size_t size) noexcept
{
    if (bytes == nullptr || size < kNoteOnSize || (bytes[0] & kKindMask) != kNoteOn)
        return std::nullopt;
    const std::uint8_t note = bytes[1];
    const std::uint8_t velocity = bytes[2];
    // A status byte inside means the message was cut short and another began.
    if ((note & kStatusBit) != 0 || (velocity & kStatusBit) != 0 || velocity == 0)
        return std::nullopt;
    return note;
}

std::optional<PadStrike> padStrikeFor(const std::uint8_t* bytes, std::size_t size,
                                      const DrumNoteMap& map) noexcept
{
    const std::optional<int> note = noteOnNumber(bytes, size);
    if (!note)
        return std::nullopt;
    const int track = map.track(*note);
    if (track < 0)
        return std::nullopt;
    return PadStrike{track, bytes[2]};
}

}  // namespace taktwerk::sound
