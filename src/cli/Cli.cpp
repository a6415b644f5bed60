#include "cli/Cli.h"

#include "cli/InfoCommand.h"
#include "cli/MakeKitCommand.h"

#include <iostream>
#include <string_view>
#include <vector>

namespace taktwerk::cli {

bool isSubCommand(std::span<char* const> args)
{
    return !args.empty() && std::string_view(args[0]).substr(0, 1) != "-";
}

void printUsage()
{
    std::cout << "Taktwerk, a drum machine\n"
                 "\n"
                 "  taktwerk                     start the drum machine window\n"
                 "  taktwerk info FILE.rtm [--json]\n"
                 "                               show what a rhythm file holds\n"
                 "  taktwerk make-kit [--soundfont FILE] [--out DIR]\n"
                 "                               render the default sample set from a SoundFont\n";
}

int run(std::span<char* const> args)
{
    const std::string_view command = args.empty() ? std::string_view{} : args[0];
    if (command == "help" || command == "--help" || command == "-h") {
        printUsage();
        return 0;
    }
    if (command == "info") {
        const std::vector<std::string_view> rest(args.begin() + 1, args.end());
        return runInfo(rest, std::cout, std::cerr);
    }
    if (command == "make-kit")
        return runMakeKit(args.subspan(1));
    std::cerr << "taktwerk: unknown command \"" << command << "\" (taktwerk --help lists them)\n";
    return 2;
}

}  // namespace taktwerk::cli
