// The program's entry: help, the version and the sub-commands run headless; anything else is
// for the window.

#include "app/Settings.h"
#include "cli/Cli.h"
#include "core/Language.h"

#include <iostream>
#include <span>

#ifdef TAKTWERK_WITH_GUI
#include "ui/MainWindowApp.h"
#endif

int main(int argc, char** argv)
{
    // First of all, while this is the only thread: every later text is in the user's language.
    namespace core = taktwerk::core;
    if (!core::useLanguage(core::languageFrom(core::localeVariables()),
                           core::localeFolderFor(taktwerk::app::executablePath())))
        std::cerr << "taktwerk: the German texts (taktwerk.mo) are missing beside the program; "
                     "it speaks English\n";
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
