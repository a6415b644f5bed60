#pragma once
// The starter library: a dozen rhythms shipped with the program (share/taktwerk/Rhythms of
// its prefix when installed), copied into the user's rhythm folder once, on the start that
// creates it. A user who deletes them does not get them back. Start-up, GUI thread.

#include "core/Result.h"

#include <filesystem>

namespace taktwerk::rhythms {

// Copies the ".rtm" files of `starterDir` into `rhythmDir`. Call it only right after start-up
// created `rhythmDir`; as a second guard it copies nothing into a folder that holds anything.
// Returns the number of rhythms copied.
core::Result<int> installStarterRhythms(const std::filesystem::path& starterDir,
                                        const std::filesystem::path& rhythmDir);

}  // namespace taktwerk::rhythms
