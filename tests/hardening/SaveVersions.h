#pragma once
// What the save loop writes in its version n, shared by the loop (taktwerk_save_loop) and the
// test that kills it. Every value of a version carries n, so a file can say which version it
// is; the test then compares it byte for byte with what that version's save writes.

#include "app/Settings.h"
#include "rhythms/Rhythm.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace taktwerk::hardening {

inline constexpr std::string_view kRhythmName = "Kill test";
inline constexpr std::string_view kSettingsFile = "taktwerk.ini";

inline rhythms::Rhythm rhythmVersion(std::uint32_t n)
{
    rhythms::Rhythm rhythm;
    rhythm.Bpm = static_cast<std::int16_t>(35 + n % 416);  // anywhere in 35..450
    rhythm.pattern.setRow(0, n);                           // the bass drum row spells n
    rhythm.mutes.setMuted(static_cast<int>(n % 9), true);
    rhythm.Tom1Sound = "Version " + std::to_string(n);
    return rhythm;
}

inline app::Settings settingsVersion(const std::filesystem::path& folder, std::uint32_t n)
{
    app::Settings settings;
    settings.IniFile = folder / kSettingsFile;
    settings.SoundSet = "Set " + std::to_string(n);
    settings.SoundDevice = static_cast<std::int16_t>(n % 2);
    settings.ClickNote = static_cast<std::int16_t>(n % 128);
    return settings;
}

}  // namespace taktwerk::hardening
