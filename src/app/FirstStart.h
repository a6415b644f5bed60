#pragma once
// Start-up of the window and the playing commands: the settings and folders, and what a first start
// adds to them so the drum machine plays something at once: the starter rhythms in a rhythm folder
// made just now, and the default sample set when it is missing or incomplete. Main thread, before
// anything plays.

#include "app/Settings.h"

#include <string>
#include <vector>

namespace taktwerk::app {

// LoadSettings, plus the first-start additions. Returns notes for the log (what was added, what
// could not be); none of them stops the start.
std::vector<std::string> LoadSettingsOnStart(Settings& settings);

}  // namespace taktwerk::app
