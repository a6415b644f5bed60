#include "rhythms/RhythmLibrary.h"

#include "core/Language.h"
#include "core/Windows1252.h"
#include "rhythms/RhythmFile.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <system_error>

namespace taktwerk::rhythms {

namespace fs = std::filesystem;

namespace {

// The name as the sort compares it: the letters Windows-1252 holds, umlauts included, in
// small letters.
std::string foldCase(std::string_view name)
{
    std::string folded;
    for (std::size_t at = 0; at < name.size();)
        core::appendUtf8(folded, core::lowerCase1252(core::nextCodePoint(name, at)));
    return folded;
}

// A name taken from the list or typed: it must name a file inside the folder, nothing else.
core::Result<void> checkFileName(std::string_view name)
{
    if (name.empty())
        return core::fail(core::translated("No rhythm chosen."));
    // Only the platform's own separators: on Linux "a\b.rtm" is an ordinary file of the folder.
    const bool backslashSeparates = std::filesystem::path::preferred_separator == '\\';
    const std::string_view separators = backslashSeparates ? "/\\" : "/";
    if (name.find_first_of(separators) != std::string_view::npos || name == "." || name == "..")
        return core::fail(core::translated("The name \"%s\" is no rhythm in this folder.", {name}));
    return {};
}

}  // namespace

bool listsBefore(std::string_view left, std::string_view right)
{
    const std::string foldedLeft = foldCase(left);
    const std::string foldedRight = foldCase(right);
    if (foldedLeft != foldedRight)
        return foldedLeft < foldedRight;
    return left < right;
}

namespace {

// An entry the folder lists as a rhythm: a regular file (or a link to one) named "*.rtm" in
// any letter case, with a name before the extension.
std::optional<RhythmEntry> entryOf(const fs::directory_entry& item)
{
    const fs::path& path = item.path();
    if (!core::equalsIgnoringCase(utf8FromPath(path.extension()), kRhythmExtension))
        return std::nullopt;
    std::error_code typeError;
    if (!item.is_regular_file(typeError))
        return std::nullopt;
    std::string name = core::nameAsUtf8(utf8FromPath(path.stem()));
    if (name.empty())  // ".rtm" alone is a hidden file, not a rhythm without a name
        return std::nullopt;
    return RhythmEntry{std::move(name), path};
}

// Whether `file` lies inside `folder` once links and ".." are resolved.
bool leadsInside(const fs::path& file, const fs::path& folder)
{
    std::error_code error;
    const fs::path root = fs::weakly_canonical(folder, error);
    if (error)
        return false;
    const fs::path resolved = fs::weakly_canonical(file, error);
    if (error)
        return false;
    const auto [rootEnd, fileAt] =
        std::mismatch(root.begin(), root.end(), resolved.begin(), resolved.end());
    // Past the root's last part (a trailing separator gives an empty one) and one more name.
    return (rootEnd == root.end() || (std::next(rootEnd) == root.end() && rootEnd->empty())) &&
           fileAt != resolved.end();
}

}  // namespace

core::Result<std::vector<RhythmEntry>> RhythmLibrary::entries() const
{
    std::vector<RhythmEntry> found;
    std::error_code error;
    if (!fs::exists(dir_, error))
        return found;
    fs::directory_iterator items(dir_, error);
    for (; !error && items != fs::directory_iterator(); items.increment(error)) {
        if (auto entry = entryOf(*items))
            found.push_back(std::move(*entry));
    }
    if (error)
        return core::fail(
            core::translated("The rhythm folder \"%s\" cannot be read.", {utf8FromPath(dir_)}),
            error.message());
    std::sort(found.begin(), found.end(), [](const RhythmEntry& left, const RhythmEntry& right) {
        if (left.name != right.name)
            return listsBefore(left.name, right.name);
        return left.file < right.file;  // "Rock.RTM" and "Rock.rtm": always the same order
    });
    return found;
}

core::Result<std::vector<std::string>> RhythmLibrary::list() const
{
    auto found = entries();
    if (!found)
        return core::fail(found.error().message, found.error().detail);
    std::vector<std::string> names;
    names.reserve(found->size());
    for (RhythmEntry& entry : *found)
        names.push_back(std::move(entry.name));
    return names;
}

fs::path RhythmLibrary::pathFor(std::string_view name) const
{
    const fs::path exact = rhythmPath(dir_, name);
    std::error_code error;
    if (fs::symlink_status(exact, error).type() != fs::file_type::not_found || name.empty())
        return exact;
    if (const auto found = entries()) {
        for (const RhythmEntry& entry : *found) {
            if (entry.name == name)
                return entry.file;
        }
    }
    return exact;
}

bool RhythmLibrary::contains(std::string_view name) const
{
    std::error_code error;
    return !name.empty() && fs::is_regular_file(pathFor(name), error);
}

core::Result<LoadedRhythm> RhythmLibrary::load(std::string_view name, const Rhythm& current,
                                               bool beginner) const
{
    if (auto checked = checkFileName(name); !checked)
        return core::fail(checked.error().message);
    return loadRhythmFile(pathFor(name), current, beginner);
}

core::Result<void> RhythmLibrary::checkInside(const fs::path& file, std::string_view name) const
{
    std::error_code error;
    if (!fs::is_symlink(file, error) || leadsInside(file, dir_))
        return {};
    return core::fail(core::translated("The rhythm \"%s\" is a link to a file outside the rhythm "
                                       "folder; it is neither overwritten nor deleted.",
                                       {name}),
                      "symbolic link leading out of the rhythm folder");
}

core::Result<fs::path> RhythmLibrary::saveTarget(std::string_view name) const
{
    if (auto checked = checkRhythmName(name); !checked)
        return core::fail(checked.error().message);
    fs::path file = pathFor(name);
    if (auto inside = checkInside(file, name); !inside)
        return core::fail(inside.error().message, inside.error().detail);
    return file;
}

core::Result<fs::path> RhythmLibrary::save(std::string_view name, const Rhythm& rhythm) const
{
    auto file = saveTarget(name);
    if (!file)
        return file;
    Rhythm named = rhythm;
    named.name = std::string(name);
    // The profile's message already names the file and what to do about it.
    if (auto written = writeRhythmFile(named, *file); !written)
        return core::fail(written.error().message, written.error().detail);
    return file;
}

core::Result<void> RhythmLibrary::remove(std::string_view name) const
{
    if (auto checked = checkFileName(name); !checked)
        return core::fail(checked.error().message);
    return removeFile(pathFor(name), name);
}

core::Result<void> RhythmLibrary::removeFile(const fs::path& file, std::string_view name) const
{
    if (file.parent_path() != dir_ && file.parent_path() / "" != dir_)
        return core::fail(core::translated("The name \"%s\" is no rhythm in this folder.", {name}));
    if (auto inside = checkInside(file, name); !inside)
        return inside;
    std::error_code error;
    const fs::file_status status = fs::symlink_status(file, error);
    if (status.type() == fs::file_type::not_found)
        return {};  // deleted meanwhile: what the user wanted has happened
    if (!error && fs::is_directory(status))
        error = std::make_error_code(std::errc::is_a_directory);
    if (!error)
        fs::remove(file, error);
    if (error)
        return core::fail(core::translated("The rhythm \"%s\" could not be deleted.", {name}),
                          error.message());
    return {};
}

}  // namespace taktwerk::rhythms
