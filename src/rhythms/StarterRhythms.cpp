#include "rhythms/StarterRhythms.h"

#include "core/AtomicFile.h"
#include "core/Language.h"
#include "rhythms/RhythmName.h"

#include <fstream>
#include <iterator>
#include <system_error>

namespace taktwerk::rhythms {

namespace fs = std::filesystem;

core::Result<int> installStarterRhythms(const fs::path& starterDir, const fs::path& rhythmDir)
{
    std::error_code error;
    if (fs::symlink_status(rhythmDir, error).type() != fs::file_type::not_found)
        return 0;  // the user's own folder (or one that cannot be looked at): never touched
    error.clear();
    const std::string message =
        core::translated("The starter rhythms could not be copied into the folder \"%s\".",
                         {utf8FromPath(rhythmDir)});
    auto folder = core::AtomicFolder::create(rhythmDir, message);
    if (!folder)
        return core::fail(folder.error().message, folder.error().detail);
    int copied = 0;
    fs::directory_iterator entries(starterDir, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        const fs::path& file = entries->path();
        std::error_code typeError;
        if (utf8FromPath(file.extension()) != kRhythmExtension ||
            !entries->is_regular_file(typeError))
            continue;
        // Read and written, not copied with the shipped file's permissions: an installed copy
        // may be read-only, and the user's rhythm must be the user's to change.
        std::ifstream in(file, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>()};
        std::ofstream out(folder->path() / file.filename(), std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!in || !out)
            return core::fail(message, "copying " + utf8FromPath(file.filename()) + " failed");
        ++copied;
    }
    if (error)
        return core::fail(message, error.message());
    if (auto placed = folder->commit(); !placed)
        return core::fail(placed.error().message, placed.error().detail);
    return copied;
}

}  // namespace taktwerk::rhythms
