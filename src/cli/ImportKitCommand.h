#pragma once
// `taktwerk import-kit SOURCE [--name NAME] [--force] [--map FILE=INSTRUMENT ...]`: makes a
// sample set of ours from a Hydrogen drumkit (folder or .h2drumkit) or an SFZ file, and says
// which of the kit's instruments plays which file. Main thread of the command line.

#include "kits/KitMapping.h"

#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace taktwerk::cli {

struct ImportKitArgs {
    std::string source;
    std::string name;
    bool force = false;
    std::vector<kits::MapOverride> overrides;
};

// The command's words, or nullopt with the reason in `problem`. Kept apart from running, so
// the options live in one place.
std::optional<ImportKitArgs> parseImportKitArgs(std::span<const std::string_view> args,
                                                std::string& problem);

// `args` are the words after "import-kit"; `soundDir` is the program's sound folder. Returns
// the exit code: 0, 1 when the import failed, 2 for a usage error.
int runImportKit(std::span<const std::string_view> args, const std::filesystem::path& soundDir,
                 std::ostream& out, std::ostream& err);

}  // namespace taktwerk::cli
