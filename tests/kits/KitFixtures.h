#pragma once
// Small kits made on the spot: samples of a constant level (so a file read back tells which
// sample it came from) in any format libsndfile writes, and .h2drumkit archives.

#include <archive.h>
#include <archive_entry.h>
#include <filesystem>
#include <fstream>
#include <sndfile.h>
#include <string>
#include <vector>

namespace taktwerk::testing {

inline void writeSample(const std::filesystem::path& file, float level,
                        int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16, int channels = 1,
                        int rate = 44100, std::size_t frames = 441)
{
    std::filesystem::create_directories(file.parent_path());
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
    std::vector<float> data(frames * static_cast<std::size_t>(channels), level);
    sf_writef_float(out, data.data(), static_cast<sf_count_t>(frames));
    sf_close(out);
}

struct SampleFile {
    SF_INFO info{};
    std::vector<float> data;
    float first() const { return data.empty() ? 0.0f : data.front(); }
};

inline SampleFile readSample(const std::filesystem::path& file)
{
    SampleFile sample;
    SNDFILE* in = sf_open(file.c_str(), SFM_READ, &sample.info);
    if (in == nullptr)
        return sample;
    sample.data.resize(static_cast<std::size_t>(sample.info.frames * sample.info.channels));
    sf_readf_float(in, sample.data.data(), sample.info.frames);
    sf_close(in);
    return sample;
}

inline void writeText(const std::filesystem::path& file, const std::string& text)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

struct ArchiveEntry {
    ArchiveEntry(std::string entryName, std::string entryBytes, bool isDirectory = false,
                 std::string link = {})
        : name(std::move(entryName)), bytes(std::move(entryBytes)), directory(isDirectory),
          linkTarget(std::move(link))
    {
    }
    std::string name;
    std::string bytes;
    bool directory = false;
    std::string linkTarget;  // non-empty: a symbolic link
};

// A gzip-compressed tar, as Hydrogen writes .h2drumkit files.
inline void writeArchive(const std::filesystem::path& file,
                         const std::vector<ArchiveEntry>& entries)
{
    archive* out = archive_write_new();
    archive_write_add_filter_gzip(out);
    archive_write_set_format_pax_restricted(out);
    archive_write_open_filename(out, file.c_str());
    for (const ArchiveEntry& item : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, item.name.c_str());
        if (item.directory) {
            archive_entry_set_filetype(entry, AE_IFDIR);
            archive_entry_set_perm(entry, 0755);
        } else if (!item.linkTarget.empty()) {
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_symlink(entry, item.linkTarget.c_str());
            archive_entry_set_perm(entry, 0777);
        } else {
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_perm(entry, 0644);
            archive_entry_set_size(entry, static_cast<la_int64_t>(item.bytes.size()));
        }
        archive_write_header(out, entry);
        if (!item.bytes.empty())
            archive_write_data(out, item.bytes.data(), item.bytes.size());
        archive_entry_free(entry);
    }
    archive_write_close(out);
    archive_write_free(out);
}

inline std::string fileBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace taktwerk::testing
