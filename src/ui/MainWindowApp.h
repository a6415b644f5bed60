#pragma once
// Starts the Qt application and the main window. The only Qt entry point of the program.

class QApplication;

namespace taktwerk::ui {

// The application-wide settings the window is designed for: the program's name and desktop
// entry, the Fusion style (the same on every desktop; the flat colours are painted by the
// window itself), the program's icon, and Qt's own texts (the buttons of a question) in the
// language core::useLanguage chose.
void prepareApplication(QApplication& application);

// Runs the window until it closes; returns the process's exit code. Handles the window's own
// arguments ([--beginner] [--screenshot OUT.png] [FILE.rtm]); a file goes to the copy already
// running for the same folders when there is one.
int runMainWindow(int argc, char** argv);

}  // namespace taktwerk::ui
