#include "cli/ImportKitCommand.h"

#include "cli/CommandOptions.h"
#include "cli/RhythmArgs.h"
#include "core/Language.h"
#include "core/Paths.h"
#include "kits/KitImport.h"

namespace taktwerk::cli {
namespace {

constexpr std::string_view kUsage =
    "usage: taktwerk import-kit SOURCE [--name NAME] [--force] [--map FILE=INSTRUMENT ...]\n";

int usage(std::ostream& err, std::string_view problem = {})
{
    if (!problem.empty())
        printError(err, "import-kit", std::string(problem));
    err << kUsage
        << core::translated("  SOURCE: a Hydrogen drumkit folder, its drumkit.xml, a .h2drumkit or "
                            "an .sfz file\n"
                            "  FILE: BD SD SD2 RM HH OH RC RC2 CB CC T1 T2 T3 ST; an empty "
                            "INSTRUMENT takes the\n"
                            "        Default set's file\n");
    return 2;
}

std::string formatName(kits::KitSource::Format format)
{
    return format == kits::KitSource::Format::Sfz ? "SFZ" : core::translated("Hydrogen drumkit");
}

}  // namespace

std::optional<ImportKitArgs> parseImportKitArgs(std::span<const std::string_view> args,
                                                std::string& problem)
{
    ImportKitArgs parsed;
    std::vector<std::string> maps;
    CommandOptions options;
    options.positional("SOURCE", parsed.source);
    auto* nameOption = options.value("--name", parsed.name);
    options.flag("--force", parsed.force);
    options.values("--map", maps);
    if (auto read = options.parse(args); !read) {
        problem = read.error().message;
        return std::nullopt;
    }
    if (CommandOptions::given(nameOption) && parsed.name.empty()) {
        problem = core::translated("--name needs a name");
        return std::nullopt;
    }
    for (const std::string& map : maps) {
        const std::size_t equals = map.find('=');
        if (equals == std::string::npos || equals == 0) {
            problem = core::translated("--map needs FILE=INSTRUMENT, e.g. --map SD=\"Snare Rock\"");
            return std::nullopt;
        }
        parsed.overrides.push_back({map.substr(0, equals), map.substr(equals + 1)});
    }
    if (parsed.source.empty()) {
        problem = core::translated("which kit? (SOURCE is missing)");
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
            printError(err, "import-kit", report.error().message,
                       core::translated("--force replaces it"));
        else
            printError(err, "import-kit", report.error().message, report.error().detail);
        return 1;
    }
    out << "taktwerk import-kit: "
        << (report->byNote ? core::translated("%s \"%s\", mapped by its General MIDI notes:",
                                              {formatName(report->format), report->kitName})
                           : core::translated("%s \"%s\", mapped by instrument names:",
                                              {formatName(report->format), report->kitName}))
        << '\n';
    for (const std::string& line : kits::describeMapping(*report))
        out << "  " << line << '\n';
    if (!report->unused.empty()) {
        out << "  " << core::translated("not used:");
        for (std::size_t i = 0; i < report->unused.size(); ++i)
            out << (i == 0 ? " " : ", ") << report->unused[i];
        out << '\n';
    }
    for (const std::string& note : report->notes)
        out << "  " << core::translated("note: %s", {note}) << '\n';
    out << "taktwerk import-kit: "
        << core::translated("wrote sample set \"%s\" to \"%s\"",
                            {report->setName, core::utf8FromPath(report->setDir)})
        << '\n';
    return 0;
}

}  // namespace taktwerk::cli
