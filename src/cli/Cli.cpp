#include "cli/Cli.h"

#include "app/FirstStart.h"
#include "app/Settings.h"
#include "cli/ExportMidiCommand.h"
#include "cli/ImportKitCommand.h"
#include "cli/InfoCommand.h"
#include "cli/MakeKitCommand.h"
#include "cli/PlayCommand.h"
#include "cli/RenderCommand.h"

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
                 "  taktwerk render FILE.rtm -o OUT.wav [--loops N | --seconds S] [--intro]\n"
                 "                  [--tail] [--rate HZ] [--float]\n"
                 "                               play a rhythm into a WAV file\n"
                 "  taktwerk export-midi FILE.rtm -o OUT.mid [--loops N]\n"
                 "                               write a rhythm as a MIDI file\n"
                 "  taktwerk play FILE.rtm [--midi | --wave] [--seconds S] [--intro]\n"
                 "                               play a rhythm until Ctrl-C\n"
                 "  taktwerk make-kit [--soundfont FILE] [--out DIR]\n"
                 "                               render the default sample set from a SoundFont\n"
                 "  taktwerk import-kit SOURCE [--name NAME] [--force] [--map FILE=INSTRUMENT]\n"
                 "                               make a sample set from a Hydrogen or SFZ kit\n";
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
    if (command == "render" || command == "export-midi" || command == "play" ||
        command == "import-kit") {
        const std::vector<std::string_view> rest(args.begin() + 1, args.end());
        if (command == "export-midi")
            return runExportMidi(rest, std::cout, std::cerr);
        // The program's folders and settings, as a start of the window would find them; a
        // first start here fills the new folders just as the window's would.
        app::Settings settings = app::InitPaths(app::processEnvironment());
        for (const std::string& note : app::LoadSettingsOnStart(settings))
            std::cerr << "taktwerk: " << note << '\n';
        if (command == "render")
            return runRender(rest, settings.SoundDir, std::cout, std::cerr);
        // The Default set made just above fills the drums a kit lacks.
        if (command == "import-kit")
            return runImportKit(rest, settings.SoundDir, std::cout, std::cerr);
        return runPlay(rest, settings, std::cout, std::cerr);
    }
    if (command == "make-kit")
        return runMakeKit(args.subspan(1));
    std::cerr << "taktwerk: unknown command \"" << command << "\" (taktwerk --help lists them)\n";
    return 2;
}

}  // namespace taktwerk::cli
