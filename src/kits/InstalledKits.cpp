#include "kits/InstalledKits.h"

#include "core/Windows1252.h"

#include <algorithm>
#include <system_error>

namespace taktwerk::kits {

std::vector<std::filesystem::path> hydrogenKitFolders(const std::filesystem::path& home)
{
    std::vector<std::filesystem::path> folders{"/usr/share/hydrogen/data/drumkits",
                                               "/usr/local/share/hydrogen/data/drumkits"};
    if (!home.empty()) {
        folders.push_back(home / ".local/share/hydrogen/drums");
        folders.push_back(home / ".local/share/hydrogen/data/drumkits");
        folders.push_back(home / ".hydrogen/data/drumkits");
    }
    return folders;
}

std::vector<InstalledKit> installedHydrogenKits(const std::vector<std::filesystem::path>& roots)
{
    std::vector<InstalledKit> kits;
    for (const auto& root : roots) {
        std::error_code error;
        for (auto item = std::filesystem::directory_iterator(root, error);
             !error && item != std::filesystem::directory_iterator(); item.increment(error)) {
            std::error_code itemError;
            if (!std::filesystem::is_regular_file(item->path() / "drumkit.xml", itemError))
                continue;
            const auto name = item->path().filename().u8string();
            kits.push_back({std::string(name.begin(), name.end()), item->path()});
        }
    }
    std::stable_sort(kits.begin(), kits.end(), [](const InstalledKit& a, const InstalledKit& b) {
        std::string lowerA;
        std::string lowerB;
        for (std::size_t pos = 0; pos < a.name.size();)
            core::appendUtf8(lowerA, core::lowerCase1252(core::nextCodePoint(a.name, pos)));
        for (std::size_t pos = 0; pos < b.name.size();)
            core::appendUtf8(lowerB, core::lowerCase1252(core::nextCodePoint(b.name, pos)));
        return lowerA < lowerB;
    });
    return kits;
}

}  // namespace taktwerk::kits
