// Windows-1252 <-> UTF-8: every byte string survives the trip through UTF-8 unchanged (rhythm
// files from the Windows program are read and written back), and every text that converts to
// Windows-1252 converts back to itself.

#include "FuzzCheck.h"
#include "core/Windows1252.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace taktwerk::core;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const std::string utf8 = cp1252ToUtf8(bytes);
    const auto back = utf8ToCp1252(utf8);
    FUZZ_CHECK(back && *back == bytes);

    // The same bytes taken as UTF-8 text, as the name box and a BOM file deliver it.
    if (const auto asCp1252 = utf8ToCp1252(bytes))
        FUZZ_CHECK(cp1252ToUtf8(*asCp1252) == bytes);

    // Case folding and walking never leave the text or change its length in code points.
    std::size_t pos = 0;
    std::size_t count = 0;
    while (pos < utf8.size()) {
        const std::size_t at = pos;
        const char32_t c = nextCodePoint(utf8, pos);
        FUZZ_CHECK(pos > at && pos <= utf8.size());
        FUZZ_CHECK(equalsIgnoringCase(std::string_view(utf8).substr(at, pos - at),
                                      std::string_view(utf8).substr(at, pos - at)));
        (void)upperCase1252(c);
        (void)lowerCase1252(c);
        ++count;
    }
    FUZZ_CHECK(count == bytes.size());  // one code point per Windows-1252 byte
    return 0;
}
