#pragma once
// The Hydrogen kits already on this machine, so the sound settings can offer them without
// browsing: Debian's (hydrogen-data, hydrogen-drumkits) and the user's own. Caller's thread.

#include <filesystem>
#include <string>
#include <vector>

namespace taktwerk::kits {

struct InstalledKit {
    std::string name;              // the kit's folder name, UTF-8
    std::filesystem::path folder;  // holds drumkit.xml
};

// Where Hydrogen keeps kits: the system's folders and those under `home` (both the current
// and the older place of a user's kits).
std::vector<std::filesystem::path> hydrogenKitFolders(const std::filesystem::path& home);

// Every kit folder (one holding a drumkit.xml) directly inside `roots`, sorted by name without
// regard to letter case; missing or unreadable roots are skipped.
std::vector<InstalledKit> installedHydrogenKits(const std::vector<std::filesystem::path>& roots);

}  // namespace taktwerk::kits
