// The MIDI input on arbitrary bytes: the first byte splits the rest into one event and a
// settings text for the note map. Whatever comes, a strike is a mapped pad with a velocity
// of 1 ... 127 from a whole note-on, and a map written out as text reads back the same.
// Input: [event length][event bytes][notes text].

#include "FuzzCheck.h"
#include "sound/MidiInput.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace taktwerk::sound;
    if (size == 0)
        return 0;
    const std::size_t eventSize = std::min<std::size_t>(data[0], size - 1);
    const std::uint8_t* event = data + 1;
    const std::string_view text(reinterpret_cast<const char*>(event + eventSize),
                                size - 1 - eventSize);

    DrumNoteMap map = DrumNoteMap::generalMidi();
    const int track = static_cast<int>(eventSize % taktwerk::pattern::kTrackCount);
    map.setNotesText(track, text);
    const auto strike = padStrikeFor(event, eventSize, map);
    if (strike) {
        FUZZ_CHECK(eventSize >= 3 && (event[0] & 0xF0) == 0x90);
        FUZZ_CHECK(strike->velocity >= 1 && strike->velocity <= 127);
        FUZZ_CHECK(strike->track == map.track(event[1]) && strike->track >= 0);
    }
    DrumNoteMap reread = map;
    reread.setNotesText(track, map.notesText(track));
    FUZZ_CHECK(reread == map);
    return 0;
}
