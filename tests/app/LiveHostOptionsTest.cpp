#include "app/LiveHostOptions.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace taktwerk::app {
namespace {

// The built-in synth is loaded wherever MIDI mode may sound through it, and only there: a play
// that stays in WAVE mode never hears it.
TEST(LiveHostOptions, TheSynthIsLeftOutOnlyWhereWaveModeCanNeverChange)
{
    const char* before = std::getenv("TAKTWERK_SOUNDFONT");
    const std::string kept = before != nullptr ? before : "";
    ::setenv("TAKTWERK_SOUNDFONT", "/fonts/Chosen.sf2", 1);
    Settings wave;
    wave.SoundDevice = 0;
    Settings midi;
    midi.SoundDevice = 1;

    EXPECT_EQ(liveHostOptions(wave).soundFont, "/fonts/Chosen.sf2");  // the window may switch
    EXPECT_EQ(liveHostOptions(wave, ModeChanges::Never).soundFont, std::nullopt);
    EXPECT_EQ(liveHostOptions(midi, ModeChanges::Never).soundFont, "/fonts/Chosen.sf2");
    EXPECT_EQ(liveHostOptions(midi).soundFont, "/fonts/Chosen.sf2");

    if (before != nullptr)
        ::setenv("TAKTWERK_SOUNDFONT", kept.c_str(), 1);
    else
        ::unsetenv("TAKTWERK_SOUNDFONT");
}

}  // namespace
}  // namespace taktwerk::app
