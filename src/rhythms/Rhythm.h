#pragma once
// A rhythm: everything a rhythm file stores, as one value. The drum machine owns the current
// one on the GUI thread; the library and the command line pass copies around.

#include "pattern/Mutes.h"
#include "pattern/Pattern.h"
#include "pattern/Swing.h"

#include <array>
#include <cstdint>
#include <string>

namespace taktwerk::rhythms {

inline constexpr int kDefaultBpm = 120;
// The tempo bar's range; a load clamps to it so that tempo bar, display and playback agree.
inline constexpr int kMinBpm = 35;
inline constexpr int kMaxBpm = 450;
inline constexpr int kVariantCount = 3;  // snare and ride each come in three samples

// The value fields keep the names musicians and stored files know them by. The numbers are
// 16-bit because a rhythm file's number that does not fit 16 bits must leave the previous value.
struct Rhythm {
    std::string name;  // "Settings"/"Name"; may differ from the file name
    std::int16_t Bpm = kDefaultBpm;
    std::int16_t Beats = 16;    // loop length in steps
    std::int16_t Interval = 4;  // steps per beat
    std::string SoundSet = "Default";
    pattern::Pattern pattern;  // all 32 steps of every track travel with the file, velocities too
    pattern::Swing swing;      // kept at every interval, played at four steps per beat
    pattern::Mutes mutes;      // a loaded rhythm with no "Mute" section plays every track
    std::int16_t SnareChoice = 0;
    std::int16_t RideChoice = 0;
    std::string Tom1Sound = "Tom 1";
    std::string Tom2Sound = "Tom 2";
    std::string Tom3Sound = "Tom 3";

    friend bool operator==(const Rhythm&, const Rhythm&) = default;
};

}  // namespace taktwerk::rhythms
