// The program's entry: help, the version and the sub-commands run headless; anything else is
// for the window.

#include "cli/Cli.h"

#include <iostream>
#include <span>

#ifdef TAKTWERK_WITH_GUI
#include "ui/MainWindowApp.h"
#endif

int main(int argc, char** argv)
{
    const std::span<char* const> args(argv + 1, static_cast<std::size_t>(argc - 1));
    if (!taktwerk::cli::opensWindow(args))
        return taktwerk::cli::run(args);
#ifdef TAKTWERK_WITH_GUI
    return taktwerk::ui::runMainWindow(argc, argv);
#else
    if (args.empty()) {
        taktwerk::cli::printUsage(std::cout);
        return 0;
    }
    std::cerr << "taktwerk: this copy was built without its window; taktwerk --help lists the "
                 "headless commands\n";
    return 2;
#endif
}
