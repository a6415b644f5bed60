// The program's entry: a sub-command runs headless; no arguments start the window.

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
