#include "rhythms/RhythmLibrary.h"

#include "core/Language.h"
#include "core/Windows1252.h"
#include "rhythms/RhythmFile.h"

#include <algorithm>
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

core::Result<std::vector<std::string>> RhythmLibrary::list() const
{
    std::vector<std::string> names;
    std::error_code error;
    if (!fs::exists(dir_, error))
        return names;
    fs::directory_iterator entries(dir_, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        const fs::path& path = entries->path();
        // Only the extension the program writes: on a file system that tells case apart a
        // "Rock.RTM" would list as "Rock" and then load a different, missing "Rock.rtm".
        if (utf8FromPath(path.extension()) != kRhythmExtension)
            continue;
        std::error_code typeError;
        if (!entries->is_regular_file(typeError))
            continue;
        std::string name = utf8FromPath(path.stem());
        if (!name.empty())  // ".rtm" alone is a hidden file, not a rhythm without a name
            names.push_back(std::move(name));
    }
    if (error)
        return core::fail(
            core::translated("The rhythm folder \"%s\" cannot be read.", {utf8FromPath(dir_)}),
            error.message());
    std::sort(names.begin(), names.end(), [](const std::string& left, const std::string& right) {
        return listsBefore(left, right);
    });
    return names;
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

core::Result<fs::path> RhythmLibrary::save(std::string_view name, const Rhythm& rhythm) const
{
    if (auto checked = checkRhythmName(name); !checked)
        return core::fail(checked.error().message);
    Rhythm named = rhythm;
    named.name = std::string(name);
    fs::path file = pathFor(name);
    // The profile's message already names the file and what to do about it.
    if (auto written = writeRhythmFile(named, file); !written)
        return core::fail(written.error().message, written.error().detail);
    return file;
}

core::Result<void> RhythmLibrary::remove(std::string_view name) const
{
    if (auto checked = checkFileName(name); !checked)
        return core::fail(checked.error().message);
    const fs::path file = pathFor(name);
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
