#include "cli/ImportKitCommand.h"

#include "cli/RhythmArgs.h"
#include "core/Paths.h"
#include "kits/KitImport.h"

namespace taktwerk::cli {
namespace {

constexpr std::string_view kUsage =
    "usage: taktwerk import-kit SOURCE [--name NAME] [--force] [--map FILE=INSTRUMENT ...]\n"
    "  SOURCE: a Hydrogen drumkit folder, its drumkit.xml, a .h2drumkit or an .sfz file\n"
    "  FILE: BD SD SD2 RM HH OH RC RC2 CB CC T1 T2 T3 ST; an empty INSTRUMENT takes the\n"
    "        Default set's file\n";

int usage(std::ostream& err, std::string_view problem = {})
{
    if (!problem.empty())
        err << "taktwerk import-kit: " << problem << '\n';
    err << kUsage;
    return 2;
}

std::string formatName(kits::KitSource::Format format)
{
    return format == kits::KitSource::Format::Sfz ? "SFZ" : "Hydrogen drumkit";
}

}  // namespace

std::optional<ImportKitArgs> parseImportKitArgs(std::span<const std::string_view> args,
                                                std::string& problem)
{
    ImportKitArgs parsed;
    bool haveSource = false;
    ArgReader reader(args);
    while (!reader.done()) {
        const std::string_view arg = reader.next();
        if (arg == "--name") {
            const auto name = reader.value();
            if (!name || name->empty()) {
                problem = "--name needs a name";
                return std::nullopt;
            }
            parsed.name = std::string(*name);
        } else if (arg == "--force") {
            parsed.force = true;
        } else if (arg == "--map") {
            const auto map = reader.value();
            const std::size_t equals = map ? map->find('=') : std::string_view::npos;
            if (equals == std::string_view::npos || equals == 0) {
                problem = "--map needs FILE=INSTRUMENT, e.g. --map SD=\"Snare Rock\"";
                return std::nullopt;
            }
            parsed.overrides.push_back(
                {std::string(map->substr(0, equals)), std::string(map->substr(equals + 1))});
        } else if (!arg.starts_with("-") && !haveSource) {
            parsed.source = std::string(arg);
            haveSource = true;
        } else {
            problem = "unknown option \"" + std::string(arg) + "\"";
            return std::nullopt;
        }
    }
    if (!haveSource) {
        problem = "which kit? (SOURCE is missing)";
        return std::nullopt;
    }
    return parsed;
}

int runImportKit(std::span<const std::string_view> args, const std::filesystem::path& soundDir,
                 std::ostream& out, std::ostream& err)
{
    std::string problem;
    const auto parsed = parseImportKitArgs(args, problem);
    if (!parsed)
        return usage(err, problem);

    kits::ImportOptions options;
    options.source = core::pathFromUtf8(parsed->source);
    options.soundDir = soundDir;
    options.name = parsed->name;
    options.force = parsed->force;
    options.overrides = parsed->overrides;
    const auto report = kits::importKit(options);
    if (!report) {
        // The core's message says what is wrong; how to go on is the command's own business.
        if (report.error().detail == kits::kSetExists)
            printError(err, "import-kit", report.error().message, "--force replaces it");
        else
            printError(err, "import-kit", report.error().message, report.error().detail);
        return 1;
    }
    out << "taktwerk import-kit: " << formatName(report->format) << " \"" << report->kitName
        << "\", mapped by " << (report->byNote ? "its General MIDI notes" : "instrument names")
        << ":\n";
    for (const std::string& line : kits::describeMapping(*report))
        out << "  " << line << '\n';
    if (!report->unused.empty()) {
        out << "  not used:";
        for (std::size_t i = 0; i < report->unused.size(); ++i)
            out << (i == 0 ? " " : ", ") << report->unused[i];
        out << '\n';
    }
    for (const std::string& note : report->notes)
        out << "  note: " << note << '\n';
    out << "taktwerk import-kit: wrote sample set \"" << report->setName << "\" to \""
        << core::utf8FromPath(report->setDir) << "\"\n";
    return 0;
}

}  // namespace taktwerk::cli
