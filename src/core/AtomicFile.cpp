#include "core/AtomicFile.h"

#include "core/Language.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// POSIX only for now; a Windows build replaces this file's body with ReplaceFileW.
namespace taktwerk::core {

namespace {

std::string utf8Name(const std::filesystem::path& path)
{
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string systemError(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

// Owns the temporary file until it has been renamed into place; removes it on every failure.
class TempFile {
public:
    ~TempFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    bool create(const std::filesystem::path& folder, std::string baseName)
    {
        // The temporary name adds 11 bytes to the file's; a file whose own name is near the
        // 255 bytes a name may have must still get one. Cut whole UTF-8 characters only.
        constexpr std::size_t kMaxBaseBytes = 255 - 11;
        if (baseName.size() > kMaxBaseBytes) {
            std::size_t cut = kMaxBaseBytes;
            while (cut > 0 && (static_cast<unsigned char>(baseName[cut]) & 0xC0u) == 0x80u)
                --cut;
            baseName.resize(cut);
        }
        std::random_device seed;
        std::mt19937 random(seed());
        // A few tries are plenty: a clash needs another writer with the same random suffix.
        for (int attempt = 0; attempt < 16; ++attempt) {
            const auto candidate =
                folder / ("." + baseName + ".tmp" + std::to_string(random() % 1000000));
            // 0666 lets the umask decide, as for any new file the user creates.
            fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ >= 0) {
                path_ = candidate;
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }
    int fd() const noexcept { return fd_; }
    const std::filesystem::path& path() const noexcept { return path_; }
    bool close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }
    void release() { path_.clear(); }

private:
    int fd_ = -1;
    std::filesystem::path path_;
};

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

Result<void> replaceFile(const std::filesystem::path& file, std::string_view bytes)
{
    const std::string message = translated("The file \"%s\" could not be saved. Please check that "
                                           "the folder is writable and has enough free space.",
                                           {utf8Name(file)});
    std::filesystem::path target = file;
    std::error_code error;
    if (std::filesystem::is_symlink(file, error)) {
        // Renaming over the link would turn it into a plain file and leave its target stale.
        const auto resolved = std::filesystem::canonical(file, error);
        if (!error)
            target = resolved;
    }
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";

    TempFile temp;
    if (!temp.create(folder, utf8Name(target.filename())))
        return fail(message, systemError("creating a temporary file"));
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0)
        (void)::fchmod(temp.fd(), old.st_mode & 07777);  // best effort: the umask's mode is fine
    if (!writeAll(temp.fd(), bytes))
        return fail(message, systemError("writing"));
    if (::fsync(temp.fd()) != 0)
        return fail(message, systemError("fsync"));
    if (!temp.close())
        return fail(message, systemError("close"));
    if (::rename(temp.path().c_str(), target.c_str()) != 0)
        return fail(message, systemError("rename"));
    temp.release();

    // The rename is only durable once the folder is flushed too. The new file is complete
    // either way, so a folder that refuses fsync (some network file systems) is no failure.
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        (void)::fsync(folderFd);
        ::close(folderFd);
    }
    return {};
}

}  // namespace taktwerk::core
