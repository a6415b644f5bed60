#include "cli/MakeKitCommand.h"

#include "cli/CommandOptions.h"
#include "cli/RhythmArgs.h"
#include "core/Language.h"
#include "core/Paths.h"
#include "sound/GmSynth.h"
#include "sound/MakeKit.h"

#include <filesystem>
#include <iomanip>
#include <iostream>
#include <optional>
#include <sstream>
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
    std::string soundFontText;
    std::string outText;
    bool force = false;
    CommandOptions parser;
    auto* soundFontOption = parser.value("--soundfont", soundFontText);
    auto* outOption = parser.value("--out", outText);
    parser.flag("--force", force);
    const std::vector<std::string_view> words(args.begin(), args.end());
    if (auto parsed = parser.parse(words); !parsed) {
        printError(std::cerr, "make-kit", parsed.error().message);
        std::cerr << kUsage;
        return 2;
    }
    std::optional<std::filesystem::path> soundFont;
    std::optional<std::filesystem::path> out;
    if (CommandOptions::given(soundFontOption))
        soundFont = core::pathFromUtf8(soundFontText);
    if (CommandOptions::given(outOption))
        out = core::pathFromUtf8(outText);
    if (!soundFont)
        soundFont = sound::findSoundFont();
    if (!soundFont) {
        printError(std::cerr, "make-kit",
                   core::translated("no SoundFont found in /usr/share/sounds/sf2 (install "
                                    "fluid-soundfont-gm or pass --soundfont FILE)"));
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
        printError(std::cerr, "make-kit",
                   core::translated("\"%s\" is not a folder; --out names the folder of the "
                                    "sample set",
                                    {core::utf8FromPath(options.setDir)}));
        return 1;
    }
    // A set is replaced whole or not at all: never a mix of the user's samples and ours.
    if (const auto existing = existingKitFiles(options.setDir); !existing.empty() && !force) {
        const std::string first = core::utf8FromPath(existing.front().filename());
        printError(std::cerr, "make-kit",
                   core::translated(
                       "\"%s\" already holds a sample set (%s); --force replaces "
                       "it, or choose another folder with --out",
                       {core::utf8FromPath(options.setDir),
                        existing.size() > 1 ? core::translated("%s and more", {first}) : first}));
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
        std::cout << core::translated("kept %s (it exists; --force replaces it)",
                                      {core::utf8FromPath(file)})
                  << '\n';
    std::ostringstream gain;
    gain << std::fixed << std::setprecision(1) << report->gainDb;
    std::cout << core::translated("gain %s dB, click from note %s, from %s",
                                  {gain.str(), std::to_string(report->clickNote),
                                   core::utf8FromPath(*soundFont)})
              << '\n';
    return 0;
}

}  // namespace taktwerk::cli
