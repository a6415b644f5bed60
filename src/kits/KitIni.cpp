#include "kits/KitIni.h"

#include "core/Profile.h"
#include "kits/HydrogenKit.h"
#include "kits/KitSource.h"
#include "kits/KitText.h"

#include <system_error>

namespace taktwerk::kits {
namespace {

constexpr std::string_view kKitSection = "Kit";
constexpr double kMaxIniGain = 16.0;

// "0-46": two whole numbers within 0..127, the first not above the second.
std::optional<std::pair<int, int>> velocityRange(std::string_view text)
{
    const std::size_t dash = text.find('-', text.find_first_not_of(" \t"));
    if (dash == std::string_view::npos)
        return std::nullopt;
    const auto low = wholeNumber(text.substr(0, dash));
    const auto high = wholeNumber(text.substr(dash + 1));
    if (!low || !high || *low < 0 || *high > 127 || *low > *high)
        return std::nullopt;
    return std::pair{static_cast<int>(*low), static_cast<int>(*high)};
}

bool isPlainFileName(std::string_view name)
{
    const auto path = relativeSamplePath(name);
    return path && std::distance(path->begin(), path->end()) == 1 &&
           name.find_first_of("/\\") == std::string_view::npos;
}

std::optional<KitIniEntry> readEntry(const core::ProfileFile& file, std::string_view code,
                                     std::vector<std::string>* problems)
{
    const auto count = file.get(code, "Layers");
    if (!count)
        return std::nullopt;
    const auto problem = [&](const std::string& text) {
        if (problems != nullptr)
            problems->push_back("[" + std::string(code) + "] " + text);
    };
    auto layers = wholeNumber(*count);
    if (!layers || *layers < 0) {
        problem("Layers is no number");
        return std::nullopt;
    }
    if (*layers > kMaxIniLayers) {
        problem("more than " + std::to_string(kMaxIniLayers) + " layers; the rest left out");
        layers = kMaxIniLayers;
    }
    KitIniEntry entry;
    entry.code = std::string(code);
    entry.instrument = file.read(code, "Instrument", "");
    for (long long n = 1; n <= *layers; ++n) {
        const std::string number = std::to_string(n);
        const auto name = file.get(code, "Layer" + number);
        if (!name || !isPlainFileName(*name)) {
            problem("Layer" + number + " names no file inside the folder; left out");
            continue;
        }
        KitIniLayer layer;
        layer.file = *name;
        if (const auto text = file.get(code, "Velocity" + number)) {
            const auto range = velocityRange(*text);
            if (!range) {
                problem("Velocity" + number + " is no range from 0 to 127; layer left out");
                continue;
            }
            layer.lowVelocity = range->first;
            layer.highVelocity = range->second;
        }
        if (const auto text = file.get(code, "Gain" + number)) {
            const auto gain = decimalNumber(*text);
            if (!gain || *gain < 0.0 || *gain > kMaxIniGain) {
                problem("Gain" + number + " is no number from 0 to 16; layer left out");
                continue;
            }
            layer.gain = *gain;
        }
        entry.layers.push_back(std::move(layer));
    }
    if (entry.layers.empty())
        return std::nullopt;
    for (auto [key, value] :
         {std::pair{"ChokeGroup", &entry.chokeGroup}, std::pair{"ChokedBy", &entry.chokedBy}}) {
        const auto text = file.get(code, key);
        if (!text)
            continue;
        const auto group = wholeNumber(*text);
        if (!group || *group < 0 || *group > kMaxChokeGroup) {
            problem(std::string(key) + " is no group from 0 to " + std::to_string(kMaxChokeGroup) +
                    "; left out");
            continue;
        }
        *value = static_cast<int>(*group);
    }
    return entry;
}

}  // namespace

const KitIniEntry* KitIni::entry(std::string_view code) const
{
    for (const KitIniEntry& candidate : entries) {
        if (candidate.code == code)
            return &candidate;
    }
    return nullptr;
}

KitIni parseKitIni(std::string_view bytes, std::vector<std::string>* problems)
{
    const core::ProfileFile file = core::ProfileFile::fromBytes(bytes);
    KitIni kit;
    kit.name = file.read(kKitSection, "Name", "");
    kit.format = file.read(kKitSection, "Format", "");
    std::vector<std::string_view> codes(kSetFiles.begin(), kSetFiles.end());
    codes.insert(codes.end(), kExtraTomFiles.begin(), kExtraTomFiles.end());
    for (const std::string_view code : codes) {
        if (auto entry = readEntry(file, code, problems))
            kit.entries.push_back(std::move(*entry));
    }
    return kit;
}

core::Result<std::string> kitIniBytes(const KitIni& kit)
{
    core::ProfileFile file = core::ProfileFile::fromBytes({}, std::string(kKitIniName));
    file.set(kKitSection, "Name", kit.name);
    file.set(kKitSection, "Format", kit.format);
    for (const KitIniEntry& entry : kit.entries) {
        file.set(entry.code, "Instrument", entry.instrument);
        file.set(entry.code, "Layers", std::to_string(entry.layers.size()));
        int n = 0;
        for (const KitIniLayer& layer : entry.layers) {
            const std::string number = std::to_string(++n);
            file.set(entry.code, "Layer" + number, layer.file);
            file.set(entry.code, "Velocity" + number,
                     std::to_string(layer.lowVelocity) + "-" + std::to_string(layer.highVelocity));
            file.set(entry.code, "Gain" + number, decimalText(layer.gain));
        }
        // Only kits with choke groups have the keys: a file of an older import reads the same.
        if (entry.chokeGroup != 0)
            file.set(entry.code, "ChokeGroup", std::to_string(entry.chokeGroup));
        if (entry.chokedBy != 0)
            file.set(entry.code, "ChokedBy", std::to_string(entry.chokedBy));
    }
    return file.toBytes();
}

std::optional<KitIni> readKitIni(const std::filesystem::path& folder,
                                 std::vector<std::string>* problems)
{
    const auto file = folder / std::string(kKitIniName);
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        return std::nullopt;
    auto bytes = readSmallFile(file, kMaxKitIniBytes);
    if (!bytes) {
        if (problems != nullptr)
            problems->push_back(bytes.error().message);
        return std::nullopt;
    }
    return parseKitIni(*bytes, problems);
}

}  // namespace taktwerk::kits
