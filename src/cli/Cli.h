#pragma once
// The headless sub-commands (info, render, export-midi, play, make-kit). Run on the main
// thread of a process without a window; never need a display.

#include <span>

namespace taktwerk::cli {

// True when `args` (the program's arguments without its own name) name a sub-command.
bool isSubCommand(std::span<char* const> args);

// Runs the sub-command and returns the process's exit code.
int run(std::span<char* const> args);

// What the program can do, for `--help` and for a start without a display.
void printUsage();

}  // namespace taktwerk::cli
