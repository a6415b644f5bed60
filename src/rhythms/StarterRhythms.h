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

// Copies the ".rtm" files of `starterDir` into `rhythmDir`. Call it only right after start-up
// created `rhythmDir`; as a second guard it copies nothing into a folder that holds anything.
// Returns the number of rhythms copied.
core::Result<int> installStarterRhythms(const std::filesystem::path& starterDir,
                                        const std::filesystem::path& rhythmDir);

}  // namespace taktwerk::rhythms
