#include "core/Profile.h"

#include "core/AtomicFile.h"
#include "core/Language.h"
#include "core/Windows1252.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace taktwerk::core {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";
// The Windows program read values into a buffer of 2048 characters, its last one the NUL.
constexpr std::size_t kMaxValueChars = 2047;

std::string utf8Name(const std::filesystem::path& path)
{
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view text)
{
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// One line of the text: [begin, end) is its content, `next` the start of the following line.
// CR LF, a lone CR and a lone LF each end a line; the blank lines a run of them makes are
// skipped by every reader, so files from any system read alike.
struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t next = 0;
};

Line lineAt(std::string_view text, std::size_t pos)
{
    Line line{pos, text.find_first_of("\r\n", pos), 0};
    if (line.end == std::string_view::npos) {
        line.end = line.next = text.size();
        return line;
    }
    line.next = line.end + 1;
    if (text[line.end] == '\r' && line.next < text.size() && text[line.next] == '\n')
        ++line.next;
    return line;
}

// What one line means. Offsets are into the whole text.
struct Parsed {
    enum class Kind { Blank, Header, Entry } kind = Kind::Blank;
    std::string_view name;       // section name or key name, trimmed
    bool hasValue = false;       // the entry has an "="
    std::size_t nameEnd = 0;     // end of the trimmed key name
    std::size_t valueBegin = 0;  // first character of the trimmed value
    std::string_view value;      // trimmed, quotes and all
};

Parsed parse(std::string_view text, const Line& line)
{
    Parsed parsed;
    const std::string_view content = text.substr(line.begin, line.end - line.begin);
    const std::string_view trimmed = trim(content);
    if (trimmed.empty())
        return parsed;
    // A header runs to the last "]" of its line; "[" without any "]" makes an ordinary line.
    if (trimmed.front() == '[') {
        const std::size_t close = trimmed.rfind(']');
        if (close != std::string_view::npos && close > 0) {
            parsed.kind = Parsed::Kind::Header;
            parsed.name = trim(trimmed.substr(1, close - 1));
            return parsed;
        }
    }
    parsed.kind = Parsed::Kind::Entry;
    const std::size_t offset =
        line.begin + static_cast<std::size_t>(trimmed.data() - content.data());
    const std::size_t equals = trimmed.find('=');
    parsed.name = trim(trimmed.substr(0, equals));
    parsed.nameEnd =
        offset + static_cast<std::size_t>(parsed.name.data() - trimmed.data()) + parsed.name.size();
    if (equals != std::string_view::npos) {
        parsed.hasValue = true;
        parsed.value = trim(trimmed.substr(equals + 1));
        parsed.valueBegin = offset + static_cast<std::size_t>(parsed.value.data() - trimmed.data());
        if (parsed.value.empty())
            parsed.valueBegin = offset + trimmed.size();
    }
    return parsed;
}

// Where a section and a key stand in the text. Only the first section of the name is
// searched, and in it the first line of the key wins, as in the Windows program's files.
struct Location {
    bool sectionFound = false;
    Line anchor;                  // the section's last non-blank line (its header at least)
    std::optional<Line> keyLine;  // the key's first line in that section
};

Location locate(std::string_view text, std::string_view section, std::string_view key)
{
    Location found;
    bool inSection = false;
    for (std::size_t pos = 0; pos < text.size();) {
        const Line line = lineAt(text, pos);
        pos = line.next;
        const Parsed parsed = parse(text, line);
        if (parsed.kind == Parsed::Kind::Header) {
            if (inSection)
                break;
            if (!found.sectionFound && equalsIgnoringCase(parsed.name, section)) {
                inSection = found.sectionFound = true;
                found.anchor = line;
            }
        } else if (parsed.kind == Parsed::Kind::Entry && inSection) {
            found.anchor = line;
            if (equalsIgnoringCase(parsed.name, key)) {
                found.keyLine = line;
                break;
            }
        }
    }
    return found;
}

bool hasLineBreakOrNul(std::string_view text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// The text to write after "=" so that the reader gives back exactly `value`.
std::string valueText(std::string_view value)
{
    if (value.empty())
        return {};
    const bool blankAtEnd = isSpace(value.front()) || isSpace(value.back());
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    if (blankAtEnd || quoted)
        return "\"" + std::string(value) + "\"";
    return std::string(value);
}

std::string cutToChars(std::string_view text, std::size_t maxChars)
{
    std::size_t pos = 0;
    for (std::size_t count = 0; count < maxChars && pos < text.size(); ++count)
        nextCodePoint(text, pos);
    return std::string(text.substr(0, pos));
}

}  // namespace

Result<ProfileFile> ProfileFile::open(const std::filesystem::path& file)
{
    std::error_code error;
    const auto status = std::filesystem::status(file, error);
    if (status.type() == std::filesystem::file_type::not_found)
        return fromBytes({}, file);
    const std::string message = translated("The file \"%s\" cannot be read.", {utf8Name(file)});
    if (error)
        return fail(message, error.message());
    // A pipe or a device would block the reader or never end.
    if (status.type() != std::filesystem::file_type::regular)
        return fail(message, "not a regular file");
    const std::string tooLarge =
        translated("The file \"%s\" is too big for a rhythm or settings file (1 MiB at most).",
                   {utf8Name(file)});
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error)
        return fail(message, error.message());
    if (size > kMaxFileBytes)
        return fail(tooLarge, std::to_string(size) + " bytes");
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return fail(message, std::strerror(errno));
    // Read in chunks to the end, never past the limit: the file may grow while it is read.
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(size));
    std::array<char, 65536> chunk{};
    while (in && bytes.size() <= kMaxFileBytes) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        bytes.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad())
        return fail(message, "read error");
    if (bytes.size() > kMaxFileBytes)
        return fail(tooLarge, "grew past 1 MiB while it was read");
    return fromBytes(bytes, file);
}

ProfileFile ProfileFile::fromBytes(std::string_view bytes, std::filesystem::path file)
{
    ProfileFile profile;
    profile.path_ = std::move(file);
    if (bytes.starts_with(kByteOrderMark)) {
        profile.utf8_ = true;
        profile.text_ = bytes.substr(kByteOrderMark.size());
    } else {
        profile.text_ = cp1252ToUtf8(bytes);
    }
    return profile;
}

std::optional<std::string> ProfileFile::get(std::string_view section, std::string_view key) const
{
    section = trim(section);
    key = trim(key);
    if (section.empty() || key.empty())
        return std::nullopt;
    const Location found = locate(text_, section, key);
    if (!found.keyLine)
        return std::nullopt;
    const Parsed parsed = parse(text_, *found.keyLine);
    if (!parsed.hasValue)
        return std::nullopt;  // a key without "=" hides any later line of the same key
    std::string_view value = parsed.value;
    value = value.substr(0, value.find('\0'));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    std::string result = cutToChars(value, kMaxValueChars);
    if (result.empty())
        return std::nullopt;
    return result;
}

bool ProfileFile::hasSection(std::string_view section) const
{
    return locate(text_, trim(section), {}).sectionFound;
}

std::string ProfileFile::read(std::string_view section, std::string_view key,
                              std::string_view fallback) const
{
    auto value = get(section, key);
    return value ? std::move(*value) : std::string(fallback);
}

void ProfileFile::set(std::string_view section, std::string_view key, std::string_view value)
{
    const auto refuse = [&](std::string detail) {
        if (!refused_)
            refused_ = Error{translated("The entry \"%s\" holds characters that cannot be "
                                        "stored in the file \"%s\".",
                                        {key, utf8Name(path_)}),
                             std::move(detail)};
    };
    if (trim(section).empty() || trim(key).empty())
        return refuse("empty section or key name");
    if (hasLineBreakOrNul(section) || hasLineBreakOrNul(key) || hasLineBreakOrNul(value))
        return refuse("line break or NUL in a name or value");
    if (key.find('=') != std::string_view::npos || trim(key).front() == '[')
        return refuse("key name with \"=\" or a leading \"[\"");
    if (!utf8_ && !utf8ToCp1252(std::string(section) + std::string(key) + std::string(value)))
        return refuse("character outside Windows-1252");

    const std::string text = valueText(value);
    const Location found = locate(text_, trim(section), trim(key));
    if (found.keyLine) {
        const Parsed parsed = parse(text_, *found.keyLine);
        // The line keeps its name, blanks and line end as they stand; only the value changes.
        if (parsed.hasValue)
            text_.replace(parsed.valueBegin, found.keyLine->end - parsed.valueBegin, text);
        else
            text_.replace(parsed.nameEnd, found.keyLine->end - parsed.nameEnd, "=" + text);
        return;
    }
    std::string lines;
    std::size_t at = text_.size();
    if (found.sectionFound) {
        at = found.anchor.next;
        if (found.anchor.next == found.anchor.end)  // the last line of the file, unended
            lines += kLineEnd;
    } else {
        if (!text_.empty() && text_.back() != '\n' && text_.back() != '\r')
            lines += kLineEnd;
        lines += "[" + std::string(section) + "]" + std::string(kLineEnd);
    }
    lines += std::string(key) + "=" + text + std::string(kLineEnd);
    text_.insert(at, lines);
}

void ProfileFile::erase(std::string_view section, std::string_view key)
{
    section = trim(section);
    key = trim(key);
    if (section.empty() || key.empty())
        return;
    struct Range {
        std::size_t begin;
        std::size_t end;
    };
    std::vector<Range> doomed;   // in text order
    std::optional<Line> header;  // of the section being read, when its name matches
    bool keepsAnEntry = false;
    const auto closeSection = [&] {
        if (header && !keepsAnEntry)
            doomed.push_back({header->begin, header->next});
        header.reset();
        keepsAnEntry = false;
    };
    for (std::size_t pos = 0; pos < text_.size();) {
        const Line line = lineAt(text_, pos);
        pos = line.next;
        const Parsed parsed = parse(text_, line);
        if (parsed.kind == Parsed::Kind::Header) {
            closeSection();
            if (equalsIgnoringCase(parsed.name, section))
                header = line;
        } else if (parsed.kind == Parsed::Kind::Entry && header) {
            if (equalsIgnoringCase(parsed.name, key))
                doomed.push_back({line.begin, line.next});
            else
                keepsAnEntry = true;
        }
    }
    closeSection();
    // A header is found only once its section has been read: put it back in text order.
    std::sort(doomed.begin(), doomed.end(),
              [](const Range& a, const Range& b) { return a.begin < b.begin; });
    for (auto range = doomed.rbegin(); range != doomed.rend(); ++range)
        text_.erase(range->begin, range->end - range->begin);
}

Result<std::string> ProfileFile::toBytes() const
{
    if (refused_)
        return Unexpected<Error>(*refused_);
    if (utf8_)
        return std::string(kByteOrderMark) + text_;
    auto bytes = utf8ToCp1252(text_);
    if (!bytes)  // cannot happen: the text came from Windows-1252 and set() checks what it adds
        return fail(translated("The file \"%s\" cannot be saved.", {utf8Name(path_)}),
                    "text outside Windows-1252");
    return std::move(*bytes);
}

Result<void> ProfileFile::commit()
{
    const auto bytes = toBytes();
    if (!bytes)
        return Unexpected<Error>(bytes.error());
    return replaceFile(path_, *bytes);
}

std::string ReadProfile(std::string_view section, std::string_view key,
                        const std::filesystem::path& file, std::string_view fallback)
{
    const auto profile = ProfileFile::open(file);
    if (!profile)
        return std::string(fallback);
    return profile->read(section, key, fallback);
}

Result<void> WriteProfile(std::string_view section, std::string_view key, std::string_view value,
                          const std::filesystem::path& file)
{
    auto profile = ProfileFile::open(file);
    if (!profile)
        return Unexpected<Error>(profile.error());
    profile->set(section, key, value);
    return profile->commit();
}

}  // namespace taktwerk::core
