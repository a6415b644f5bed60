#include "cli/MakeKitCommand.h"

#include "sound/GmSynth.h"
#include "sound/MakeKit.h"

#include <filesystem>
#include <iomanip>
#include <iostream>
#include <optional>
#include <string_view>

namespace taktwerk::cli {

int runMakeKit(std::span<char* const> args, const std::filesystem::path& soundDir)
{
    std::optional<std::filesystem::path> soundFont;
    std::optional<std::filesystem::path> out;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--soundfont" && hasValue) {
            soundFont = args[++i];
        } else if (arg == "--out" && hasValue) {
            out = args[++i];
        } else {
            std::cerr << "taktwerk make-kit: unknown or incomplete option \"" << arg
                      << "\"\nusage: taktwerk make-kit [--soundfont FILE] [--out DIR]\n";
            return 2;
        }
    }
    if (!soundFont)
        soundFont = sound::findSoundFont();
    if (!soundFont) {
        std::cerr << "taktwerk make-kit: no SoundFont found in /usr/share/sounds/sf2 "
                     "(install fluid-soundfont-gm or pass --soundfont FILE)\n";
        return 1;
    }
    // The sound folder, not the program's own: an installed program's folder is not the
    // user's to write.
    const auto setDir = out ? *out : soundDir / "Default";
    // The extra toms belong beside the sample sets, where the sample dialog lists them.
    const auto extraTomDir =
        setDir.parent_path().empty() ? std::filesystem::path(".") : setDir.parent_path();
    auto report =
        sound::makeKit({.soundFont = *soundFont, .setDir = setDir, .extraTomDir = extraTomDir});
    if (!report) {
        std::cerr << "taktwerk make-kit: " << report.error().message << '\n';
        if (!report.error().detail.empty())
            std::cerr << "  (" << report.error().detail << ")\n";
        return 1;
    }
    for (const auto& file : report->written)
        std::cout << file.string() << '\n';
    std::cout << "gain " << std::fixed << std::setprecision(1) << report->gainDb
              << " dB, click from note " << report->clickNote << ", from " << soundFont->string()
              << '\n';
    return 0;
}

}  // namespace taktwerk::cli
