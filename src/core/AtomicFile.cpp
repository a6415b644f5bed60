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

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTemporaryMark = ".tmp-";
constexpr std::size_t kRandomChars = 8;  // 36^8 names: never guessed, never clashing
constexpr std::string_view kRandomAlphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
// A file name holds at most 255 bytes; the temporary name adds the dot, the mark and the
// random letters to the file's own.
constexpr std::size_t kMaxNameBytes = 255;
constexpr std::size_t kMaxBaseBytes = kMaxNameBytes - 1 - kTemporaryMark.size() - kRandomChars;

std::string utf8Name(const fs::path& path)
{
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string systemError(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

// "." + name + ".tmp-" + random letters, the name cut at a whole UTF-8 character when the
// result would be too long for a file name.
std::string temporaryName(std::string baseName)
{
    if (baseName.size() > kMaxBaseBytes) {
        std::size_t cut = kMaxBaseBytes;
        while (cut > 0 && (static_cast<unsigned char>(baseName[cut]) & 0xC0u) == 0x80u)
            --cut;
        baseName.resize(cut);
    }
    std::random_device random;
    std::uniform_int_distribution<std::size_t> pick(0, kRandomAlphabet.size() - 1);
    std::string name = "." + baseName + std::string(kTemporaryMark);
    for (std::size_t i = 0; i < kRandomChars; ++i)
        name += kRandomAlphabet[pick(random)];
    return name;
}

// The file a save writes: a symbolic link's target (renaming over the link would turn it into a
// plain file and leave its target stale), else the path itself.
fs::path resolvedTarget(const fs::path& file)
{
    std::error_code error;
    if (fs::is_symlink(file, error)) {
        const auto resolved = fs::canonical(file, error);
        if (!error)
            return resolved;
    }
    return file;
}

fs::path folderOf(const fs::path& file)
{
    const fs::path folder = file.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

// The rename is only durable once the folder is flushed too. The new file is complete either
// way, so a folder that refuses fsync (some network file systems) is no failure.
void flushFolder(const fs::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

// rename() that never replaces: renameat2 where the file system has it, else a hard link,
// which fails on an existing name just the same.
int renameNoReplace(const fs::path& from, const fs::path& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    if (::link(from.c_str(), to.c_str()) != 0)
        return -1;
    (void)::unlink(from.c_str());  // the new name is in place; an extra name is harmless
    return 0;
}

bool isDigits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The name older versions gave their temporary files (".NAME.tmp" and up to six digits), of
// which killed saves left many behind.
bool isOldTemporaryName(std::string_view name)
{
    const std::size_t mark = name.rfind(".tmp");
    return name.starts_with(".") && mark != std::string_view::npos && mark > 1 &&
           name.size() - mark - 4 <= 6 && isDigits(name.substr(mark + 4));
}

}  // namespace

Result<void> checkReplaceable(const fs::path& file, const std::string& message)
{
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) {
        if (errno == ENOENT)
            return {};
        return fail(message, systemError("stat"));
    }
    if (!S_ISREG(status.st_mode))
        return fail(message, S_ISDIR(status.st_mode) ? "a folder is in the file's place"
                                                     : "not a regular file (a device or a FIFO)");
    // No write permission for anybody is the read-only mark, which even root respects here.
    if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
        ::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0)
        return fail(message, "the file is read-only");
    return {};
}

Result<AtomicFile> AtomicFile::create(const fs::path& file, std::string message)
{
    AtomicFile out;
    out.target_ = resolvedTarget(file);
    out.message_ = std::move(message);
    if (auto replaceable = checkReplaceable(out.target_, out.message_); !replaceable)
        return Unexpected<Error>(replaceable.error());
    const fs::path folder = folderOf(out.target_);
    // A few tries are plenty: a clash needs another writer with the same random letters.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const fs::path candidate = folder / temporaryName(utf8Name(out.target_.filename()));
        // 0666 lets the umask decide, as for any new file the user creates.
        out.fd_ =
            ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (out.fd_ >= 0) {
            out.temporary_ = candidate;
            out.cleanup_ = CleanupOnSignal(candidate);
            break;
        }
        if (errno != EEXIST)
            return fail(out.message_, systemError("creating a temporary file"));
    }
    if (out.fd_ < 0)
        return fail(out.message_, "no free temporary name");
    struct stat old {};
    if (::stat(out.target_.c_str(), &old) == 0)
        (void)::fchmod(out.fd_, old.st_mode & 07777);  // best effort: the umask's mode is fine
    return out;
}

AtomicFile::~AtomicFile() { discard(); }

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : target_(std::move(other.target_)), temporary_(std::move(other.temporary_)),
      message_(std::move(other.message_)), fd_(other.fd_), cleanup_(std::move(other.cleanup_))
{
    other.fd_ = -1;
    other.temporary_.clear();
}

AtomicFile& AtomicFile::operator=(AtomicFile&& other) noexcept
{
    if (this != &other) {
        discard();
        target_ = std::move(other.target_);
        temporary_ = std::move(other.temporary_);
        message_ = std::move(other.message_);
        fd_ = other.fd_;
        cleanup_ = std::move(other.cleanup_);
        other.fd_ = -1;
        other.temporary_.clear();
    }
    return *this;
}

void AtomicFile::discard() noexcept
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
    cleanup_.release();
}

Result<void> AtomicFile::write(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return fail(message_, systemError("writing"));
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

Result<void> AtomicFile::commit(bool replace)
{
    if (fd_ < 0 || temporary_.empty())
        return fail(message_, "nothing to commit");
    if (::fsync(fd_) != 0)
        return fail(message_, systemError("fsync"));
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        return fail(message_, systemError("close"));
    // Checked again at the last moment: the file may have been made read-only meanwhile.
    if (replace) {
        if (auto replaceable = checkReplaceable(target_, message_); !replaceable)
            return replaceable;
    }
    const int renamed = replace ? ::rename(temporary_.c_str(), target_.c_str())
                                : renameNoReplace(temporary_, target_);
    if (renamed != 0)
        return fail(message_, systemError(errno == EEXIST ? "the file exists" : "rename"));
    temporary_.clear();
    cleanup_.release();
    flushFolder(folderOf(target_));
    return {};
}

Result<void> replaceFile(const fs::path& file, std::string_view bytes)
{
    std::string message = translated("The file \"%s\" could not be saved. Please check that "
                                     "the folder is writable and has enough free space.",
                                     {utf8Name(file)});
    auto out = AtomicFile::create(file, std::move(message));
    if (!out)
        return Unexpected<Error>(out.error());
    if (auto written = out->write(bytes); !written)
        return written;
    return out->commit();
}

Result<AtomicFolder> AtomicFolder::create(const fs::path& folder, std::string message)
{
    AtomicFolder built;
    // "Rhythms/" names its folder with a trailing separator.
    built.target_ = folder.filename().empty() ? folder.parent_path() : folder;
    built.message_ = std::move(message);
    const fs::path name = built.target_.filename();
    const fs::path parent = folderOf(built.target_);
    std::error_code error;
    fs::create_directories(parent, error);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const fs::path candidate = parent / temporaryName(utf8Name(name));
        if (::mkdir(candidate.c_str(), 0777) == 0) {
            built.temporary_ = candidate;
            built.cleanup_ = CleanupOnSignal(candidate, /*folder=*/true);
            return built;
        }
        if (errno != EEXIST)
            return fail(built.message_, systemError("creating a temporary folder"));
    }
    return fail(built.message_, "no free temporary name");
}

AtomicFolder::~AtomicFolder() { discard(); }

AtomicFolder::AtomicFolder(AtomicFolder&& other) noexcept
    : target_(std::move(other.target_)), temporary_(std::move(other.temporary_)),
      message_(std::move(other.message_)), cleanup_(std::move(other.cleanup_))
{
    other.temporary_.clear();
}

AtomicFolder& AtomicFolder::operator=(AtomicFolder&& other) noexcept
{
    if (this != &other) {
        discard();
        target_ = std::move(other.target_);
        temporary_ = std::move(other.temporary_);
        message_ = std::move(other.message_);
        cleanup_ = std::move(other.cleanup_);
        other.temporary_.clear();
    }
    return *this;
}

void AtomicFolder::discard() noexcept
{
    if (!temporary_.empty()) {
        std::error_code ignored;  // a clean-up that fails is swept at the next start
        fs::remove_all(temporary_, ignored);
    }
    temporary_.clear();
    cleanup_.release();
}

Result<void> AtomicFolder::commit()
{
    if (temporary_.empty())
        return fail(message_, "nothing to commit");
    // The files' data must be on the disk before the folder's new name is.
    std::error_code error;
    for (fs::directory_iterator it(temporary_, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        const int fd = ::open(it->path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd >= 0) {
            (void)::fsync(fd);  // a file system without fsync has nothing better to offer
            ::close(fd);
        }
    }
    flushFolder(temporary_);
    if (::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE) !=
        0) {
        if (errno != EINVAL && errno != ENOSYS)
            return fail(message_, systemError(errno == EEXIST ? "the folder exists" : "rename"));
        // Without renameat2 an existing empty folder would be replaced; refuse any existing one.
        if (fs::exists(target_, error))
            return fail(message_, "the folder exists");
        if (::rename(temporary_.c_str(), target_.c_str()) != 0)
            return fail(message_, systemError("rename"));
    }
    temporary_.clear();
    cleanup_.release();
    flushFolder(folderOf(target_));
    return {};
}

bool isTemporaryName(std::string_view name)
{
    if (!name.starts_with(".") || name.size() < 2 + kTemporaryMark.size() + kRandomChars)
        return false;
    const std::string_view tail = name.substr(name.size() - kRandomChars);
    const std::string_view mark =
        name.substr(name.size() - kRandomChars - kTemporaryMark.size(), kTemporaryMark.size());
    return mark == kTemporaryMark &&
           tail.find_first_not_of(kRandomAlphabet) == std::string_view::npos;
}

int removeStaleTemporaries(const fs::path& folder, std::chrono::seconds minAge)
{
    int removed = 0;
    const auto now = fs::file_time_type::clock::now();
    std::error_code error;
    for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        const std::string name = utf8Name(it->path().filename());
        if (!isTemporaryName(name) && !isOldTemporaryName(name))
            continue;
        std::error_code itemError;
        const fs::file_status status = it->symlink_status(itemError);
        const auto changed = it->last_write_time(itemError);
        if (itemError || now - changed < minAge)
            continue;
        // Our temporary folders hold files only; anything deeper is not ours to remove.
        if (fs::is_directory(status)) {
            bool flat = true;
            for (fs::directory_iterator inner(it->path(), itemError);
                 !itemError && inner != fs::directory_iterator(); inner.increment(itemError))
                flat = flat && !inner->is_directory(itemError);
            if (itemError || !flat)
                continue;
            fs::remove_all(it->path(), itemError);
        } else if (fs::is_regular_file(status)) {
            fs::remove(it->path(), itemError);
        } else {
            continue;
        }
        if (!itemError)
            ++removed;
    }
    return removed;
}

}  // namespace taktwerk::core
