// The program's entry: a sub-command runs headless; no arguments start the window.

#include "cli/Cli.h"

#include <span>

#ifdef TAKTWERK_WITH_GUI
#include "ui/MainWindowApp.h"
#endif

int main(int argc, char** argv)
{
    const std::span<char* const> args(argv + 1, static_cast<std::size_t>(argc - 1));
    if (taktwerk::cli::isSubCommand(args))
        return taktwerk::cli::run(args);
#ifdef TAKTWERK_WITH_GUI
    return taktwerk::ui::runMainWindow(argc, argv);
#else
    if (!args.empty())
        return taktwerk::cli::run(args);
    taktwerk::cli::printUsage();
    return 0;
#endif
}
