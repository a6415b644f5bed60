#pragma once
// Unpacks a Hydrogen .h2drumkit (a tar archive, usually gzip-compressed, holding one kit
// folder) into a temporary folder, with limits: an archive is untrusted input, and one that
// holds a million entries, unpacks to terabytes or names "../../x" must fail cleanly instead
// of filling the disk or writing outside. Only plain files and folders are unpacked; links
// and devices are skipped. Caller's thread.

#include "core/Result.h"

#include <cstdint>
#include <filesystem>

namespace taktwerk::kits {

struct ArchiveLimits {
    // Debian's largest kit has 133 files and 60 MB; these leave room for kits ten times
    // that size and no more.
    std::size_t maxEntries = 10000;
    std::uint64_t maxFileBytes = std::uint64_t{512} * 1024 * 1024;
    std::uint64_t maxTotalBytes = std::uint64_t{2} * 1024 * 1024 * 1024;
};

// A folder that removes itself and everything in it when it goes.
class TemporaryFolder {
public:
    // Creates a fresh folder inside `parent` (the system's temporary folder when empty).
    static core::Result<TemporaryFolder> create(const std::filesystem::path& parent = {},
                                                std::string_view prefix = "taktwerk-kit-");
    TemporaryFolder(TemporaryFolder&& other) noexcept;
    TemporaryFolder& operator=(TemporaryFolder&& other) noexcept;
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder();

    const std::filesystem::path& path() const noexcept { return path_; }
    // The folder is kept (it has been renamed into place): it is no longer removed.
    void keep() noexcept { path_.clear(); }

private:
    explicit TemporaryFolder(std::filesystem::path path) : path_(std::move(path)) {}
    std::filesystem::path path_;
};

// Unpacks `archive` into `into` (an existing, empty folder).
core::Result<void> unpackKitArchive(const std::filesystem::path& archive,
                                    const std::filesystem::path& into,
                                    const ArchiveLimits& limits = {});

// The folder inside an unpacked .h2drumkit that holds drumkit.xml: the top folder itself or
// one level below it (the usual layout). Empty when there is none.
std::filesystem::path findDrumkitFolder(const std::filesystem::path& unpacked);

}  // namespace taktwerk::kits
