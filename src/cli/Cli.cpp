#include "cli/Cli.h"

#include "Version.h"
#include "app/FirstStart.h"
#include "app/Settings.h"
#include "cli/ExportMidiCommand.h"
#include "cli/ImportKitCommand.h"
#include "cli/InfoCommand.h"
#include "cli/MakeKitCommand.h"
#include "cli/PlayCommand.h"
#include "cli/PortsCommand.h"
#include "cli/RenderCommand.h"
#include "core/CleanupOnSignal.h"
#include "core/Language.h"
#include "devices/LibraryNoise.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace taktwerk::cli {

namespace {

// One usage text per sub-command: its synopsis (a continuation line is indented to follow
// "usage: " or the listing's equally wide margin), one line on what it does, and its options.
// The synopsis is the command's syntax and reads the same in every language; the summary and
// the options are translated where they are shown.
struct CommandHelp {
    std::string_view name;
    std::string_view synopsis;
    const char* summary;
    const char* options;
};

constexpr std::array<CommandHelp, 7> kCommands{{
    {"info", "taktwerk info FILE.rtm [--json]\n",
     core::translatable("show what a rhythm file holds"),
     core::translatable("  --json                one line of JSON instead of text\n")},
    {"render",
     "taktwerk render FILE.rtm -o OUT.wav [--loops N | --seconds S] [--intro] [--tail]\n"
     "                       [--rate HZ] [--float] [--format wav|flac|ogg] [--force]\n",
     core::translatable("play a rhythm through its sample set into a WAV, FLAC or Ogg file"),
     core::translatable(
         "  -o, --output OUT.wav  the file to write: .wav, .flac or .ogg; - for standard output\n"
         "  --loops N             seamless passes of the loop, 1 to 100000 (default 4)\n"
         "  --seconds S           this many seconds instead, up to 86400\n"
         "  --intro               the count-in first\n"
         "  --tail                let the last hits ring out after the music\n"
         "  --rate HZ             sample rate, 8000 to 192000 (default 44100)\n"
         "  --float               32-bit float samples (default 16-bit; WAV only)\n"
         "  --format TYPE         wav, flac or ogg, for standard output or a name without\n"
         "                        extension (default wav)\n"
         "  --force               replace OUT.wav even when it is no audio file\n")},
    {"export-midi", "taktwerk export-midi FILE.rtm -o OUT.mid [--loops N] [--force]\n",
     core::translatable("write a rhythm as a Standard MIDI File"),
     core::translatable("  -o, --output OUT.mid  the MIDI file to write; - for standard output\n"
                        "  --loops N             passes of the loop, 1 to 10000 (default 4)\n"
                        "  --force               replace OUT.mid even when it is no MIDI file\n")},
    {"play",
     "taktwerk play FILE.rtm [--midi | --wave] [--seconds S] [--intro] [--clock-out]\n"
     "              [--sync internal|midi|jack] [--jack-timebase] [--midi-out PORT|none]\n"
     "              [--midi-in PORT|none]\n",
     core::translatable("play a rhythm live until Ctrl-C"),
     core::translatable(
         "  --midi                General MIDI notes (default: as the settings choose)\n"
         "  --wave                the sampled voices of the rhythm's sample set\n"
         "  --seconds S           stop after this many seconds, up to 86400\n"
         "  --intro               the count-in first\n"
         "  --clock-out           send MIDI clock, Start and Stop with the notes\n"
         "  --sync midi           follow the MIDI clock on Taktwerk:midi_in (its Start, Stop,\n"
         "                        Continue and tempo)\n"
         "  --sync jack           follow the JACK transport (rolling, position and tempo)\n"
         "  --sync internal       play at our own tempo (default: as the settings choose)\n"
         "  --jack-timebase       on JACK, publish our tempo, bar and beat to the transport\n"
         "  --midi-out PORT       send the notes and clock to this port, by its full name as\n"
         "                        taktwerk ports lists it; none for no port (default: as the\n"
         "                        settings choose, else the first port)\n"
         "  --midi-in PORT        play the pads and take the clock from this port; none for no\n"
         "                        port (default: as the settings choose, else none)\n")},
    {"ports", "taktwerk ports\n",
     core::translatable("list the MIDI ports that play can be connected to"),
     core::translatable(
         "  (no options) JACK's ports while a JACK server runs, else the ALSA sequencer's\n")},
    {"make-kit", "taktwerk make-kit [--soundfont FILE] [--out DIR] [--force]\n",
     core::translatable("render the default sample set from a General-MIDI SoundFont"),
     core::translatable(
         "  --soundfont FILE      the SoundFont (default: the system's, in /usr/share/sounds/sf2)\n"
         "  --out DIR             the sample set's folder, and nothing beside it (default: "
         "Default\n"
         "                        in the sound folder, the extra toms beside it)\n"
         "  --force               replace the files of a sample set that is there\n")},
    {"import-kit",
     "taktwerk import-kit SOURCE [--name NAME] [--force] [--map FILE=INSTRUMENT ...]\n",
     core::translatable("make a sample set from a Hydrogen drumkit or an SFZ file"),
     core::translatable(
         "  SOURCE                a Hydrogen drumkit folder, its drumkit.xml, a .h2drumkit or an\n"
         "                        .sfz file\n"
         "  --name NAME           the sample set's name (default: the kit's)\n"
         "  --force               replace a sample set of that name\n"
         "  --map FILE=INSTRUMENT the kit's instrument for one of the set's files (BD SD SD2 RM\n"
         "                        HH OH RC RC2 CB CC T1 T2 T3 ST); an empty INSTRUMENT takes the\n"
         "                        Default set's file\n")},
}};

const CommandHelp* commandNamed(std::string_view name)
{
    const auto found =
        std::find_if(kCommands.begin(), kCommands.end(),
                     [&](const CommandHelp& command) { return command.name == name; });
    return found == kCommands.end() ? nullptr : &*found;
}

bool isHelp(std::string_view word) { return word == "--help" || word == "-h"; }

// The first of --help, -h and --version among the options; "--" ends the options.
std::string_view helpOrVersion(std::span<char* const> args)
{
    for (const std::string_view word : args) {
        if (word == "--")
            break;
        if (isHelp(word) || word == "--version")
            return word;
    }
    return {};
}

// A word that is no sub-command names a rhythm file for the window when it looks like one: a
// path (as a file manager passes it) or a name with the rhythm extension. Any other word is
// more likely a mistyped command than a file without extension.
bool looksLikeRhythmFile(std::string_view word)
{
    constexpr std::string_view kExtension = ".rtm";
    if (word.find('/') != std::string_view::npos)
        return true;
    if (word.size() <= kExtension.size())
        return false;
    std::string tail(word.substr(word.size() - kExtension.size()));
    for (char& c : tail)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == kExtension;
}

void printCommandUsage(std::ostream& out, const CommandHelp& command)
{
    // The listing's summary, as a sentence of its own.
    std::string sentence(core::translated(command.summary));
    sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence[0])));
    out << "usage: " << command.synopsis << '\n'
        << sentence << ".\n\n"
        << core::translated(command.options);
}

}  // namespace

bool opensWindow(std::span<char* const> args)
{
    if (args.empty())
        return true;
    const std::string_view first = args[0];
    if (first == "help" || commandNamed(first) != nullptr)
        return false;
    if (!first.starts_with("-") && !looksLikeRhythmFile(first))
        return false;
    return helpOrVersion(args).empty();
}

void printUsage(std::ostream& out)
{
    out << "usage: taktwerk [FILE.rtm] [--beginner]\n"
           "       taktwerk --screenshot OUT.png [--beginner] [FILE.rtm]\n";
    for (const CommandHelp& command : kCommands)
        out << "       " << command.synopsis;
    out << "       taktwerk --help | --version\n"
           "\n"
        << core::translated(
               "Taktwerk, a drum machine. Without a command it opens its window, with FILE.rtm\n"
               "loaded when one is given; a window already running takes the file instead.\n"
               "\n"
               "Commands (no display or sound card needed):\n");
    for (const CommandHelp& command : kCommands) {
        constexpr std::size_t kNameColumn = 13;  // the longest name and a blank or two
        std::string name(command.name);
        name.resize(kNameColumn, ' ');
        out << "  " << name << core::translated(command.summary) << '\n';
    }
    out << core::translated(
        "\n"
        "Options:\n"
        "  --beginner            start in the beginner view\n"
        "  --screenshot OUT.png  draw the window into a PNG file and end (no display needed)\n"
        "  -h, --help            show this help and end\n"
        "  --version             show the version and end\n"
        "\n"
        "taktwerk COMMAND --help describes a command's options.\n");
}

int run(std::span<char* const> args)
{
    const std::string_view first = args.empty() ? std::string_view{} : args[0];
    const CommandHelp* command = commandNamed(first);
    // Help is answered before anything else: it must never create folders or render a kit.
    if (first == "help") {
        const CommandHelp* topic = args.size() > 1 ? commandNamed(args[1]) : nullptr;
        if (topic != nullptr)
            printCommandUsage(std::cout, *topic);
        else
            printUsage(std::cout);
        return 0;
    }
    if (const std::string_view asked = helpOrVersion(args); !asked.empty()) {
        if (asked == "--version")
            std::cout << "taktwerk " << kVersion << '\n';
        else if (command != nullptr)
            printCommandUsage(std::cout, *command);
        else
            printUsage(std::cout);
        return 0;
    }
    if (command == nullptr) {
        std::cerr << "taktwerk: "
                  << core::translated("unknown command \"%s\" (taktwerk --help lists them)",
                                      {first})
                  << '\n';
        return 2;
    }

    // What the libraries below would print is said in our own lines, and a command cut short
    // by Ctrl-C, `kill` or a closed terminal leaves no temporary file behind.
    devices::catchLibraryNoise();
    core::removeTemporariesOnSignals();
    const std::vector<std::string_view> rest(args.begin() + 1, args.end());
    if (first == "info")
        return runInfo(rest, std::cout, std::cerr);
    if (first == "export-midi")
        return runExportMidi(rest, std::cout, std::cerr);
    if (first == "ports")
        return runPorts(rest, std::cout, std::cerr);
    app::Settings settings = app::InitPaths(app::processEnvironment());
    if (first == "make-kit")
        return runMakeKit(args.subspan(1), settings.SoundDir);
    // The program's folders and settings, as a start of the window would find them; a first
    // start here fills the new folders just as the window's would.
    for (const std::string& note : app::LoadSettingsOnStart(settings))
        std::cerr << "taktwerk: " << note << '\n';
    if (first == "render")
        return runRender(rest, settings.SoundDir, std::cout, std::cerr);
    // The Default set made just above fills the drums a kit lacks.
    if (first == "import-kit")
        return runImportKit(rest, settings.SoundDir, std::cout, std::cerr);
    return runPlay(rest, settings, std::cout, std::cerr);
}

}  // namespace taktwerk::cli
