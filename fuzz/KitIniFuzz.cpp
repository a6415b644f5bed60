// kit.ini on arbitrary files: whatever it holds, the layers read are plain file names inside
// the set's folder with usable ranges and gains, and writing them out reads back the same.
// Input: the file's bytes.

#include "FuzzCheck.h"
#include "kits/KitIni.h"
#include "kits/KitSource.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace taktwerk::kits;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const KitIni kit = parseKitIni(bytes);
    for (const KitIniEntry& entry : kit.entries) {
        FUZZ_CHECK(!entry.layers.empty() &&
                   entry.layers.size() <= static_cast<std::size_t>(kMaxIniLayers));
        for (const KitIniLayer& layer : entry.layers) {
            FUZZ_CHECK(!layer.file.empty() &&
                       layer.file.find_first_of("/\\") == std::string::npos && layer.file != "." &&
                       layer.file != "..");
            FUZZ_CHECK(layer.lowVelocity >= 0 && layer.lowVelocity <= layer.highVelocity &&
                       layer.highVelocity <= 127);
            FUZZ_CHECK(std::isfinite(layer.gain) && layer.gain >= 0.0 && layer.gain <= 16.0);
        }
        FUZZ_CHECK(entry.chokeGroup >= 0 && entry.chokeGroup <= kMaxChokeGroup);
        FUZZ_CHECK(entry.chokedBy >= 0 && entry.chokedBy <= kMaxChokeGroup);
    }
    const auto written = kitIniBytes(kit);
    // We write Windows-1252; only a file in UTF-8 (with its byte-order mark) can hold text
    // that does not fit.
    if (!written) {
        FUZZ_CHECK(bytes.starts_with("\xEF\xBB\xBF"));
        return 0;
    }
    const KitIni reread = parseKitIni(*written);
    FUZZ_CHECK(reread.entries.size() == kit.entries.size());
    for (std::size_t i = 0; i < kit.entries.size(); ++i) {
        FUZZ_CHECK(reread.entries[i].code == kit.entries[i].code);
        FUZZ_CHECK(reread.entries[i].layers.size() == kit.entries[i].layers.size());
        for (std::size_t n = 0; n < kit.entries[i].layers.size(); ++n) {
            FUZZ_CHECK(reread.entries[i].layers[n].file == kit.entries[i].layers[n].file);
            FUZZ_CHECK(reread.entries[i].layers[n].gain == kit.entries[i].layers[n].gain);
        }
        FUZZ_CHECK(reread.entries[i].chokeGroup == kit.entries[i].chokeGroup);
        FUZZ_CHECK(reread.entries[i].chokedBy == kit.entries[i].chokedBy);
    }
    return 0;
}
