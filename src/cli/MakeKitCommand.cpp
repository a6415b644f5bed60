#include "cli/MakeKitCommand.h"

#include "cli/RhythmArgs.h"
#include "sound/GmSynth.h"
#include "sound/MakeKit.h"

#include <filesystem>
#include <iomanip>
#include <iostream>
#include <optional>
#include <string_view>
#include <system_error>

namespace taktwerk::cli {

namespace {

constexpr std::string_view kUsage =
    "usage: taktwerk make-kit [--soundfont FILE] [--out DIR] [--force]\n";

// The kit's own files already in `setDir`: a sample set the user may have made or edited.
std::vector<std::filesystem::path> existingKitFiles(const std::filesystem::path& setDir)
{
    std::vector<std::filesystem::path> found;
    std::error_code error;
    for (const sound::KitSample& sample : sound::kitSamples()) {
        const auto file = setDir / (sample.name + ".wav");
        if (std::filesystem::symlink_status(file, error).type() !=
            std::filesystem::file_type::not_found)
            found.push_back(file);
    }
    return found;
}

}  // namespace

int runMakeKit(std::span<char* const> args, const std::filesystem::path& soundDir)
{
    std::optional<std::filesystem::path> soundFont;
    std::optional<std::filesystem::path> out;
    bool force = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--soundfont" && hasValue) {
            soundFont = args[++i];
        } else if (arg == "--out" && hasValue) {
            out = args[++i];
        } else if (arg == "--force") {
            force = true;
        } else {
            std::cerr << "taktwerk make-kit: unknown or incomplete option \"" << arg << "\"\n"
                      << kUsage;
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

    // Without --out, the set goes into the sound folder (TAKTWERK_HOME's, the installed
    // layout's or the program's own), and the extra toms beside it, where the sample dialog
    // lists them. With --out, nothing is written outside the folder named.
    sound::KitOptions options;
    options.soundFont = *soundFont;
    options.replaceExisting = force;
    if (out) {
        options.setDir = *out;
    } else {
        options.setDir = soundDir / "Default";
        options.extraTomDir = soundDir;
    }
    std::error_code error;
    if (std::filesystem::exists(options.setDir, error) &&
        !std::filesystem::is_directory(options.setDir, error)) {
        std::cerr << "taktwerk make-kit: \"" << options.setDir.string()
                  << "\" is not a folder; --out names the folder of the sample set\n";
        return 1;
    }
    // A set is replaced whole or not at all: never a mix of the user's samples and ours.
    if (const auto existing = existingKitFiles(options.setDir); !existing.empty() && !force) {
        std::cerr << "taktwerk make-kit: \"" << options.setDir.string()
                  << "\" already holds a sample set (" << existing.front().filename().string()
                  << (existing.size() > 1 ? " and more" : "")
                  << "); --force replaces it, or choose another folder with --out\n";
        return 1;
    }

    auto report = sound::makeKit(options);
    printLibraryNoise(std::cerr, "make-kit");
    if (!report) {
        printError(std::cerr, "make-kit", report.error().message, report.error().detail);
        return 1;
    }
    for (const auto& file : report->written)
        std::cout << file.string() << '\n';
    for (const auto& file : report->kept)
        std::cout << "kept " << file.string() << " (it exists; --force replaces it)\n";
    std::cout << "gain " << std::fixed << std::setprecision(1) << report->gainDb
              << " dB, click from note " << report->clickNote << ", from " << soundFont->string()
              << '\n';
    return 0;
}

}  // namespace taktwerk::cli
