// The SFZ reader on arbitrary files: a kit or a refusal, never a crash, a hang or a sample
// path that leaves the file's folder. Input: the file's bytes.

#include "KitChecks.h"
#include "kits/SfzKit.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto kit = taktwerk::kits::parseSfzKit(text, "/kit", "Fuzz");
    if (kit)
        taktwerk::fuzz::checkKit(*kit);
    return 0;
}
