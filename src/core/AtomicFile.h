#pragma once
// Replacing a file so that a crash, a kill or a full disk never leaves it torn: the new bytes go
// to a temporary file in the same folder, are flushed to the disk, and the temporary file is
// renamed over the old one. Readers see the old file or the new one, never a mix. An existing
// file keeps its permissions; a symbolic link is followed and its target replaced.
//
// Only a regular file is ever replaced: a device, a FIFO or a folder in the file's place is
// refused, and so is a read-only file, as the Windows program's writer refused one. The
// temporary file gets an unpredictable name and is created with O_CREAT | O_EXCL | O_NOFOLLOW,
// so nothing planted in the folder (a link, a FIFO) is ever opened in its place. It is removed
// on every failure, on SIGINT, SIGTERM and SIGHUP (CleanupOnSignal.h), and, when a SIGKILL or a
// power cut left it, by the sweep of stale temporaries at the next start.
// Any thread; no shared state but the signal registry.

#include "core/CleanupOnSignal.h"
#include "core/Result.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

namespace taktwerk::core {

// A file being written under a temporary name beside the file it will replace.
class AtomicFile {
public:
    // Opens the temporary file for `file` (a symbolic link's target when `file` is one). Every
    // failure, now and later, carries `message` for the user and the reason as its detail.
    static Result<AtomicFile> create(const std::filesystem::path& file, std::string message);
    ~AtomicFile();  // removes the temporary file unless it was committed
    AtomicFile(AtomicFile&& other) noexcept;
    AtomicFile& operator=(AtomicFile&& other) noexcept;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Open for reading and writing, so libraries that seek back to finish a header can use it.
    int fd() const noexcept { return fd_; }
    // The file that commit() replaces.
    const std::filesystem::path& target() const noexcept { return target_; }
    const std::filesystem::path& temporary() const noexcept { return temporary_; }

    Result<void> write(std::string_view bytes);
    // Flushes the data to the disk, closes, and renames the temporary file over the target
    // (`replace`), or only into a place still free (not `replace`: a file that appeared there
    // meanwhile stays and the commit fails). The folder is flushed too.
    Result<void> commit(bool replace = true);

private:
    AtomicFile() = default;
    void discard() noexcept;

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::string message_;
    int fd_ = -1;
    CleanupOnSignal cleanup_;
};

// Replaces `file` with `bytes` in one atomic step. The message of a failure names the file and
// asks the user to check the folder.
Result<void> replaceFile(const std::filesystem::path& file, std::string_view bytes);

// Whether `file` may be replaced: missing, or a regular file that is not read-only (a link is
// judged by its target). Refusals carry `message` and the reason.
Result<void> checkReplaceable(const std::filesystem::path& file, const std::string& message);

// A folder of files built under a temporary name beside `folder` and renamed into place whole,
// so that a kill leaves either no folder or the complete one.
class AtomicFolder {
public:
    static Result<AtomicFolder> create(const std::filesystem::path& folder, std::string message);
    ~AtomicFolder();  // removes the temporary folder with its files unless committed
    AtomicFolder(AtomicFolder&& other) noexcept;
    AtomicFolder& operator=(AtomicFolder&& other) noexcept;
    AtomicFolder(const AtomicFolder&) = delete;
    AtomicFolder& operator=(const AtomicFolder&) = delete;

    const std::filesystem::path& path() const noexcept { return temporary_; }
    // Flushes the files and renames the folder to its real name; fails, leaving everything
    // where it is, when a folder of that name appeared meanwhile.
    Result<void> commit();

private:
    AtomicFolder() = default;
    void discard() noexcept;

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::string message_;
    CleanupOnSignal cleanup_;
};

// True for the names our temporaries get: "." + the file's own name + ".tmp-" and eight small
// letters or digits.
bool isTemporaryName(std::string_view name);

// Removes from `folder` what only we leave behind: temporary files and folders named as above
// (and files named as older versions named them: ".NAME.tmp" and up to six digits) that have
// not changed for `minAge`, so a save or a render still running in another copy of the program
// keeps its own. Returns how many went.
int removeStaleTemporaries(const std::filesystem::path& folder, std::chrono::seconds minAge);

}  // namespace taktwerk::core
