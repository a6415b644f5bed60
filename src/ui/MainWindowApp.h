#pragma once
// Starts the Qt application and the main window. The only Qt entry point of the program.

class QApplication;

namespace taktwerk::ui {

// The application-wide look the window is designed for: the Fusion style (the same on every
// desktop; the flat colours are painted by the window itself), the program's icon, and Qt's own
// texts (the buttons of a question) in the language core::useLanguage chose.
void prepareApplication(QApplication& application);

// Runs the window until it closes; returns the process's exit code. Handles the window's own
// options (--screenshot OUT.png [--beginner]).
int runMainWindow(int argc, char** argv);

}  // namespace taktwerk::ui
