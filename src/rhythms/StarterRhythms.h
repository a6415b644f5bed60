#pragma once
// The starter library: a dozen rhythms shipped with the program (share/taktwerk/Rhythms of
// its prefix when installed), copied into the user's rhythm folder once, on the start that
// creates it. A user who deletes them does not get them back. Start-up, GUI thread.

#include "core/Result.h"

#include <filesystem>

namespace taktwerk::rhythms {

// Creates `rhythmDir` holding copies of the ".rtm" files of `starterDir`. The folder is built
// under a temporary name and renamed into place whole, so a start killed meanwhile leaves no
// folder (and the next start builds it again) or the complete one, never a few rhythms. An
// existing folder, even an empty one, is the user's and is not touched. Returns the number of
// rhythms copied.
core::Result<int> installStarterRhythms(const std::filesystem::path& starterDir,
                                        const std::filesystem::path& rhythmDir);

}  // namespace taktwerk::rhythms
