#include "kits/KitArchive.h"

#include "core/Language.h"
#include "kits/KitText.h"

#include <archive.h>
#include <archive_entry.h>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <system_error>

namespace taktwerk::kits {
namespace {

struct ArchiveCloser {
    void operator()(archive* handle) const noexcept { archive_read_free(handle); }
};
using ArchiveHandle = std::unique_ptr<archive, ArchiveCloser>;

constexpr std::size_t kReadBlockBytes = 64 * 1024;

std::string utf8Of(const std::filesystem::path& path)
{
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

core::Unexpected<core::Error> broken(const std::filesystem::path& archive, std::string detail)
{
    return core::fail(core::translated("The archive \"%s\" cannot be unpacked.", {utf8Of(archive)}),
                      std::move(detail));
}

}  // namespace

core::Result<TemporaryFolder> TemporaryFolder::create(const std::filesystem::path& parent,
                                                      std::string_view prefix)
{
    std::error_code error;
    const auto base = parent.empty() ? std::filesystem::temp_directory_path(error) : parent;
    std::string pattern = (base / (std::string(prefix) + "XXXXXX")).string();
    if (error || ::mkdtemp(pattern.data()) == nullptr)
        return core::fail(core::translated("A temporary folder could not be created."),
                          error ? error.message() : std::strerror(errno));
    return TemporaryFolder(std::filesystem::path(pattern));
}

TemporaryFolder::TemporaryFolder(TemporaryFolder&& other) noexcept : path_(std::move(other.path_))
{
    other.path_.clear();
}

TemporaryFolder& TemporaryFolder::operator=(TemporaryFolder&& other) noexcept
{
    if (this != &other) {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

TemporaryFolder::~TemporaryFolder()
{
    if (path_.empty())
        return;
    std::error_code ignored;  // nothing to tell anyone from a destructor; the folder is temporary
    std::filesystem::remove_all(path_, ignored);
}

core::Result<void> unpackKitArchive(const std::filesystem::path& archivePath,
                                    const std::filesystem::path& into, const ArchiveLimits& limits)
{
    ArchiveHandle reader(archive_read_new());
    if (!reader)
        return broken(archivePath, "archive_read_new failed");
    // tar in any of its compressions; Hydrogen writes gzip, older tools plain tar.
    archive_read_support_filter_all(reader.get());
    archive_read_support_format_tar(reader.get());
    archive_read_support_format_gnutar(reader.get());
    if (archive_read_open_filename(reader.get(), archivePath.c_str(), kReadBlockBytes) !=
        ARCHIVE_OK)
        return broken(archivePath, archive_error_string(reader.get()) != nullptr
                                       ? archive_error_string(reader.get())
                                       : "cannot open");

    std::size_t entries = 0;
    std::uint64_t total = 0;
    std::array<char, kReadBlockBytes> buffer{};
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status != ARCHIVE_OK && status != ARCHIVE_WARN)
            return broken(archivePath, archive_error_string(reader.get()) != nullptr
                                           ? archive_error_string(reader.get())
                                           : "broken header");
        if (++entries > limits.maxEntries)
            return broken(archivePath,
                          "more than " + std::to_string(limits.maxEntries) + " entries");
        const char* name = archive_entry_pathname_utf8(entry);
        if (name == nullptr)
            name = archive_entry_pathname(entry);
        const auto relative = name != nullptr ? relativeSamplePath(name) : std::nullopt;
        if (!relative)
            return broken(archivePath, std::string("entry \"") + (name ? name : "") +
                                           "\" leaves the archive's folder");
        const auto target = into / *relative;
        const auto type = archive_entry_filetype(entry);
        std::error_code error;
        if (type == AE_IFDIR) {
            std::filesystem::create_directories(target, error);
            if (error)
                return broken(archivePath, error.message());
            continue;
        }
        // Links could point anywhere; a kit needs none.
        if (type != AE_IFREG)
            continue;
        std::filesystem::create_directories(target.parent_path(), error);
        // A folder made earlier from a link-free archive still cannot lead outside, but a
        // name that clashes with an existing file or folder is refused, not followed.
        if (error || !staysInside(into, target) || std::filesystem::exists(target))
            return broken(archivePath, "entry \"" + utf8Of(*relative) + "\" cannot be unpacked");
        std::ofstream out(target, std::ios::binary);
        if (!out)
            return broken(archivePath, "cannot create \"" + utf8Of(target) + "\"");
        std::uint64_t fileBytes = 0;
        for (;;) {
            const la_ssize_t got = archive_read_data(reader.get(), buffer.data(), buffer.size());
            if (got == 0)
                break;
            if (got < 0)
                return broken(archivePath, archive_error_string(reader.get()) != nullptr
                                               ? archive_error_string(reader.get())
                                               : "broken data");
            fileBytes += static_cast<std::uint64_t>(got);
            total += static_cast<std::uint64_t>(got);
            if (fileBytes > limits.maxFileBytes || total > limits.maxTotalBytes)
                return broken(archivePath, "unpacks to more than the limit (" +
                                               std::to_string(limits.maxFileBytes) +
                                               " bytes a "
                                               "file, " +
                                               std::to_string(limits.maxTotalBytes) + " in all)");
            out.write(buffer.data(), got);
        }
        if (!out.flush())
            return core::fail(
                core::translated("The contents of the archive \"%s\" could not be written.",
                                 {utf8Of(archivePath)}),
                std::strerror(errno));
    }
    return {};
}

std::filesystem::path findDrumkitFolder(const std::filesystem::path& unpacked)
{
    std::error_code error;
    if (std::filesystem::is_regular_file(unpacked / "drumkit.xml", error))
        return unpacked;
    for (auto item = std::filesystem::directory_iterator(unpacked, error);
         !error && item != std::filesystem::directory_iterator(); item.increment(error)) {
        std::error_code itemError;
        if (item->is_directory(itemError) && !item->is_symlink(itemError) &&
            std::filesystem::is_regular_file(item->path() / "drumkit.xml", itemError))
            return item->path();
    }
    return {};
}

}  // namespace taktwerk::kits
