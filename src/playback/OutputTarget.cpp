#include "playback/OutputTarget.h"

#include "core/Language.h"

#include <array>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace taktwerk::playback {

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
                               const std::filesystem::path& input, OutputKind kind,
                               ForeignFile foreign)
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
    if (foreign == ForeignFile::Replace || target.st_size == 0 || looksLike(headOf(output), kind))
        return {};
    if (foreign == ForeignFile::Refuse)
        return core::fail(
            kind == OutputKind::Audio
                ? core::translated("%s exists and is no audio file (RIFF, RF64, FLAC or Ogg); "
                                   "choose another name",
                                   {quoted(output)})
                : core::translated("%s exists and is no MIDI file; choose another name",
                                   {quoted(output)}));
    return core::fail(
        kind == OutputKind::Audio
            ? core::translated("%s exists and is no audio file (RIFF, RF64, FLAC or Ogg); "
                               "--force replaces it",
                               {quoted(output)})
            : core::translated("%s exists and is no MIDI file; --force replaces it",
                               {quoted(output)}));
    return {};
}

}  // namespace taktwerk::playback
