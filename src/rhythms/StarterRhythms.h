#pragma once
// The starter library: a dozen rhythms shipped with the program (share/taktwerk/Rhythms when
// installed), copied into the user's rhythm folder once, on the start that creates it. A user
// who deletes them does not get them back. Start-up, GUI thread.

#include "core/Result.h"

#include <filesystem>
#include <optional>

namespace taktwerk::rhythms {

// Where the shipped rhythms lie for a program in `exeDir`: "../share/taktwerk/Rhythms" for an
// installed copy (bin/ beside share/), "share/taktwerk/Rhythms" for the build tree and a
// portable copy. nullopt when neither exists.
std::optional<std::filesystem::path> findStarterRhythms(const std::filesystem::path& exeDir);

// Creates `rhythmDir` holding copies of the ".rtm" files of `starterDir`. The folder is built
// under a temporary name and renamed into place whole, so a start killed meanwhile leaves no
// folder (and the next start builds it again) or the complete one, never a few rhythms. An
// existing folder, even an empty one, is the user's and is not touched. Returns the number of
// rhythms copied.
core::Result<int> installStarterRhythms(const std::filesystem::path& starterDir,
                                        const std::filesystem::path& rhythmDir);

}  // namespace taktwerk::rhythms
