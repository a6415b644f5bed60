// The Hydrogen drumkit reader on arbitrary drumkit.xml files: a kit or a refusal, never a
// crash, a hang or a sample path that leaves the kit. Input: the file's bytes.

#include "KitChecks.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view xml(reinterpret_cast<const char*>(data), size);
    const auto kit = taktwerk::kits::parseHydrogenKit(xml, "/kit");
    if (kit)
        taktwerk::fuzz::checkKit(*kit);
    return 0;
}
