#include "cli/OutputTarget.h"

#include "core/Language.h"

#include <array>
#include <cctype>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace taktwerk::cli {

namespace {

std::string quoted(const std::filesystem::path& path) { return "\"" + path.string() + "\""; }

}  // namespace

bool isStandardOutput(std::string_view output) { return output == "-"; }

core::Result<void> checkStandardOutput()
{
    if (::isatty(STDOUT_FILENO) == 1)
        return core::fail(core::translated(
            "standard output is a terminal; -o - is for a pipe or a redirection (> out.wav)"));
    return {};
}

core::Result<playback::AudioFileType> audioFileType(const std::filesystem::path& output,
                                                    std::string_view format)
{
    struct Type {
        std::string_view name;
        playback::AudioFileType type;
    };
    constexpr std::array<Type, 3> kTypes{{{"wav", playback::AudioFileType::Wav},
                                          {"flac", playback::AudioFileType::Flac},
                                          {"ogg", playback::AudioFileType::Ogg}}};
    const auto named = [&](std::string_view name) -> const Type* {
        for (const Type& type : kTypes)
            if (type.name == name)
                return &type;
        return nullptr;
    };
    const Type* chosen = nullptr;
    if (!format.empty()) {
        chosen = named(format);
        if (chosen == nullptr)
            return core::fail(core::translated("--format takes wav, flac or ogg, not \"%s\"",
                                               {std::string(format)}));
    }
    if (isStandardOutput(output.native()) || !output.has_extension())
        return chosen != nullptr ? chosen->type : playback::AudioFileType::Wav;
    std::string extension = output.extension().string().substr(1);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const Type* byName = named(extension);
    if (byName == nullptr)
        return core::fail(core::translated(
            "%s: a .%s file cannot be written; the name must end in .wav, .flac or .ogg",
            {quoted(output), extension}));
    if (chosen != nullptr && chosen != byName)
        return core::fail(core::translated("%s is no %s file; --format and the name disagree",
                                           {quoted(output), chosen->name}));
    return byName->type;
}

core::Result<void> checkOutput(const std::filesystem::path& output,
                               const std::filesystem::path& input, OutputKind kind, bool force)
{
    return playback::checkOutput(output, input, kind,
                                 force ? playback::ForeignFile::Replace
                                       : playback::ForeignFile::RefuseOfferingForce);
}

}  // namespace taktwerk::cli
