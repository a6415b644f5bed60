#include "devices/LibraryNoise.h"

#include <alsa/asoundlib.h>
#include <fluidsynth.h>
#include <glib.h>
#include <gtest/gtest.h>

namespace taktwerk::devices {
namespace {

TEST(LibraryNoise, WhatTheLibrariesWouldPrintBecomesOneLineEach)
{
    catchLibraryNoise();
    (void)takeLibraryNoise();  // what earlier tests left

    ::testing::internal::CaptureStderr();
    // ALSA without the device it is asked for, as on a machine without a sound card.
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "hw:97,0", SND_PCM_STREAM_PLAYBACK, 0) == 0)
        snd_pcm_close(pcm);
    // FluidSynth and GLib, as a broken SoundFont makes them talk.
    fluid_log(FLUID_ERR, "Not a RIFF file %d%%", 1);
    fluid_log(FLUID_ERR, "Failed to load SoundFont");
    g_critical("ipatch_container_init_iter: assertion '%s' failed", "IPATCH_IS_CONTAINER");
    g_debug("only for the library's developers");
    const std::string printed = ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(printed, "");
    const std::vector<std::string> lines = takeLibraryNoise();
    ASSERT_EQ(lines.size(), 3u) << ::testing::PrintToString(lines);
    EXPECT_TRUE(lines[0].starts_with("ALSA: ")) << lines[0];
    EXPECT_EQ(lines[1], "FluidSynth: Not a RIFF file 1% (and 1 more messages)");
    EXPECT_EQ(lines[2], "GLib: ipatch_container_init_iter: assertion 'IPATCH_IS_CONTAINER' failed");
    EXPECT_TRUE(takeLibraryNoise().empty());  // each said once
}

}  // namespace
}  // namespace taktwerk::devices
