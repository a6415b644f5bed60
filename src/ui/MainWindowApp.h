#pragma once
// Starts the Qt application and the main window. The only Qt entry point of the program.

namespace taktwerk::ui {

// Runs the window until it closes; returns the process's exit code. Handles the window's own
// options (--screenshot OUT.png [--beginner]).
int runMainWindow(int argc, char** argv);

}  // namespace taktwerk::ui
