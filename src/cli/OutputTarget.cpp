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

constexpr std::size_t kHeadBytes = 4;  // every signature we know is four bytes

std::string quoted(const std::filesystem::path& path) { return "\"" + path.string() + "\""; }

// The first bytes of a regular file; empty when it cannot be read.
std::string headOf(const std::filesystem::path& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    std::array<char, kHeadBytes> buffer{};
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    ::close(fd);
    return got > 0 ? std::string(buffer.data(), static_cast<std::size_t>(got)) : std::string();
}

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

bool looksLike(std::string_view head, OutputKind kind)
{
    if (kind == OutputKind::Midi)
        return head.starts_with("MThd");
    for (const std::string_view magic : {"RIFF", "RF64", "fLaC", "OggS"})
        if (head.starts_with(magic))
            return true;
    return false;
}

core::Result<void> checkOutput(const std::filesystem::path& output,
                               const std::filesystem::path& input, OutputKind kind, bool force)
{
    struct stat link {};
    if (::lstat(output.c_str(), &link) != 0)
        return {};  // nothing there yet (or a folder we cannot look into, which the write tells)
    struct stat target {};
    if (::stat(output.c_str(), &target) != 0)
        return core::fail(core::translated(
            "%s is a link to nothing; remove it or choose another name", {quoted(output)}));
    if (S_ISDIR(target.st_mode))
        return core::fail(core::translated("%s is a folder; give a file name", {quoted(output)}));
    if (!S_ISREG(target.st_mode))
        return core::fail(core::translated(
            "%s is a device, a FIFO or a socket, not a file; the output must be a file",
            {quoted(output)}));
    struct stat source {};
    if (::stat(input.c_str(), &source) == 0 && source.st_dev == target.st_dev &&
        source.st_ino == target.st_ino)
        return core::fail(
            core::translated("%s is the input file itself; choose another name", {quoted(output)}));
    // An empty file holds nothing to lose.
    if (!force && target.st_size > 0 && !looksLike(headOf(output), kind))
        return core::fail(
            kind == OutputKind::Audio
                ? core::translated("%s exists and is no audio file (RIFF, RF64, FLAC or Ogg); "
                                   "--force replaces it",
                                   {quoted(output)})
                : core::translated("%s exists and is no MIDI file; --force replaces it",
                                   {quoted(output)}));
    return {};
}

}  // namespace taktwerk::cli
