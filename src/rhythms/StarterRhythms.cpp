#include "rhythms/StarterRhythms.h"

#include "core/Language.h"
#include "rhythms/RhythmName.h"

#include <system_error>

namespace taktwerk::rhythms {

namespace fs = std::filesystem;

core::Result<int> installStarterRhythms(const fs::path& starterDir, const fs::path& rhythmDir)
{
    std::error_code error;
    if (!fs::is_empty(rhythmDir, error) || error)
        return 0;  // the user's own rhythms (or an unreadable folder): never touched
    int copied = 0;
    fs::directory_iterator entries(starterDir, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        const fs::path& file = entries->path();
        std::error_code typeError;
        if (utf8FromPath(file.extension()) != kRhythmExtension ||
            !entries->is_regular_file(typeError))
            continue;
        if (fs::copy_file(file, rhythmDir / file.filename(), fs::copy_options::skip_existing,
                          error))
            ++copied;
        else if (error)
            break;
    }
    if (error)
        return core::fail(core::translated("The starter rhythms could not be copied into the "
                                           "folder \"%s\".",
                                           {utf8FromPath(rhythmDir)}),
                          error.message());
    return copied;
}

}  // namespace taktwerk::rhythms
