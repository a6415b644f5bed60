#pragma once
// The program's front door: which of its arguments open the window and which run a headless
// sub-command (info, render, export-midi, play, make-kit), and the help and version texts.
// Main thread of a process without a window; never needs a display.

#include <ostream>
#include <span>

namespace taktwerk::cli {

// True when `args` (the program's arguments without its own name) are for the window: none,
// window options (--beginner, --screenshot OUT.png) or a rhythm file to open. False for help,
// --version, a sub-command and a word that is none of these.
bool opensWindow(std::span<char* const> args);

// Runs what `args` ask for when they do not open the window and returns the process's exit
// code. Asking for help or the version touches no file and no folder.
int run(std::span<char* const> args);

// What the program can do, for `--help` and for a start without a window.
void printUsage(std::ostream& out);

}  // namespace taktwerk::cli
