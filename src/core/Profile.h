#pragma once
// INI profiles: the settings file and the rhythm files. Reads and writes with the rules that
// files written by the Windows program rely on (case-insensitive names, first match wins,
// quotes stripped, values cut at 2047 characters, everything unknown kept byte for byte).
// Text is Windows-1252 on disk (UTF-8 when the file starts with a UTF-8 byte-order mark) and
// UTF-8 in memory. Every save is atomic: a temporary file in the same folder, flushed, then
// renamed over the old one, so a crash or a full disk never leaves a torn file.
// Used on the GUI thread and by the command line; no shared state.

#include "core/Result.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace taktwerk::core {

// A rhythm file is a few hundred bytes and a settings file less; even with every value at the
// 2047 characters a value may have, both stay far below this. Anything larger is not ours, and
// reading it whole would cost seconds and hundreds of megabytes for nothing.
inline constexpr std::uintmax_t kMaxFileBytes = 1024 * 1024;

// One INI file held in memory: open, read or set many keys, commit once.
class ProfileFile {
public:
    // A missing file opens as empty (it is created by the first commit). A path that exists
    // but cannot be read (a folder, a pipe, no permission) is an error, and so is a file larger
    // than kMaxFileBytes, refused before a byte of it is read.
    static Result<ProfileFile> open(const std::filesystem::path& file);
    // The file's bytes as they would be on disk, without touching the disk (tests, fuzzing).
    static ProfileFile fromBytes(std::string_view bytes, std::filesystem::path file = {});

    // The value, or nullopt when the section, the key or the value is missing or empty.
    std::optional<std::string> get(std::string_view section, std::string_view key) const;
    // Whether a section of that name (in any letter case) is in the file.
    bool hasSection(std::string_view section) const;
    // The value, or `fallback` when get() would give nullopt.
    std::string read(std::string_view section, std::string_view key,
                     std::string_view fallback) const;
    // Replaces the value where the key stands (the rest of its line kept), or appends the key
    // after the last entry of its section, or the section at the end of the file. A value
    // with blanks at either end, or wrapped in a pair of quotes, is written inside double
    // quotes so that it reads back as given. A refused set (a line break or NUL in a name or
    // value, "=" in a key, a character the file's code page cannot hold) changes nothing and
    // makes commit() fail with the reason.
    void set(std::string_view section, std::string_view key, std::string_view value);
    // Removes every line of `key` in every section of that name, so that get() finds nothing
    // afterwards; a section left without an entry loses its header too (its blank lines stay).
    // What a writer uses for a key it writes only when it differs from the default: a file
    // once written with the key and then saved without it reads as the default again, and
    // looks as if the key had never been there.
    void erase(std::string_view section, std::string_view key);

    // The bytes commit() would write, or the reason a set() was refused.
    Result<std::string> toBytes() const;
    // Writes the file atomically (see AtomicFile.h); on failure the old file is untouched.
    Result<void> commit();

    const std::filesystem::path& path() const noexcept { return path_; }

private:
    ProfileFile() = default;
    std::filesystem::path path_;
    std::string text_;              // the whole file as UTF-8, line endings as found
    bool utf8_ = false;             // started with a UTF-8 byte-order mark: written back as UTF-8
    std::optional<Error> refused_;  // the first set() that could not be honoured
};

// Per-key forms, as the rest of the program has always called them. ReadProfile returns
// `fallback` for a missing file, section, key or empty value, and for an unreadable file.
std::string ReadProfile(std::string_view section, std::string_view key,
                        const std::filesystem::path& file, std::string_view fallback);
Result<void> WriteProfile(std::string_view section, std::string_view key, std::string_view value,
                          const std::filesystem::path& file);

}  // namespace taktwerk::core
