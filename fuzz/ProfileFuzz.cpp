// The INI reader and writer on arbitrary files and arbitrary edits: whatever the file holds,
// a set value reads back as given, and every byte outside the changed line stays as it was.
// Input: section, key, value and a second key to probe (each a length-prefixed string), then
// the file's bytes.

#include "FuzzCheck.h"
#include "core/Profile.h"
#include "core/Windows1252.h"

#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <string_view>

using taktwerk::core::ProfileFile;

namespace {

// The Windows program cut values at 2047 characters; longer ones cannot read back whole.
constexpr std::size_t kMaxValueChars = 2047;
constexpr std::size_t kMaxNameBytes = 64;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::size_t codePoints(std::string_view utf8)
{
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < utf8.size(); ++count)
        taktwerk::core::nextCodePoint(utf8, pos);
    return count;
}

bool hasLineBreak(std::string_view bytes)
{
    return bytes.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(kMaxNameBytes);
    const std::string key = input.ConsumeRandomLengthString(kMaxNameBytes);
    const std::string value = input.ConsumeRandomLengthString(4 * kMaxValueChars);
    const std::string otherKey = input.ConsumeRandomLengthString(kMaxNameBytes);
    const std::string bytes = input.ConsumeRemainingBytesAsString();

    const ProfileFile original = ProfileFile::fromBytes(bytes);
    // Reading and writing back unchanged gives the very same bytes: nothing is normalised.
    const auto unchanged = original.toBytes();
    FUZZ_CHECK(unchanged && *unchanged == bytes);

    ProfileFile edited = original;
    edited.set(section, key, value);
    const auto written = edited.toBytes();
    if (!written)
        return 0;  // a refused set; the reasons are tested one by one in the unit tests

    const ProfileFile reread = ProfileFile::fromBytes(*written);
    const auto readBack = reread.get(section, key);
    if (value.empty())
        FUZZ_CHECK(!readBack);
    else if (codePoints(value) <= kMaxValueChars)
        FUZZ_CHECK(readBack && *readBack == value);

    // The old bytes are the new ones with at most one stretch replaced, and that stretch lies
    // within one line (the value of the key that was set).
    const std::string_view before = bytes;
    const std::string_view after = *written;
    std::size_t prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix])
        ++prefix;
    std::size_t suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    FUZZ_CHECK(!hasLineBreak(before.substr(prefix, before.size() - prefix - suffix)));

    // Another key of the same section keeps its value.
    if (!taktwerk::core::equalsIgnoringCase(trimmed(otherKey), trimmed(key)))
        FUZZ_CHECK(original.get(section, otherKey) == reread.get(section, otherKey));
    return 0;
}
