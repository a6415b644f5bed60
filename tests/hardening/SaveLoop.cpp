// taktwerk_save_loop FOLDER FIRST: saves the rhythm "Kill test" into FOLDER through the rhythm
// library and the sound settings into FOLDER/taktwerk.ini, in versions FIRST, FIRST + 1, ...,
// until it is killed. A test helper: it exists to be killed at a random moment of a save.

#include "SaveVersions.h"
#include "app/Settings.h"
#include "rhythms/RhythmLibrary.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    using namespace taktwerk;
    if (argc != 3) {
        std::fprintf(stderr, "usage: taktwerk_save_loop FOLDER FIRST\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const rhythms::RhythmLibrary library(folder);
    for (auto n = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));; ++n) {
        if (const auto saved = library.save(hardening::kRhythmName, hardening::rhythmVersion(n));
            !saved) {
            std::fprintf(stderr, "%s\n", saved.error().message.c_str());
            return 1;
        }
        if (const auto saved =
                app::saveSoundSettings(hardening::settingsVersion(folder, n), /*writeSound=*/true);
            !saved) {
            std::fprintf(stderr, "%s\n", saved.error().message.c_str());
            return 1;
        }
    }
}
