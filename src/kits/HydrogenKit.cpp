#include "kits/HydrogenKit.h"

#include "core/Language.h"
#include "kits/KitText.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <pugixml.hpp>
#include <system_error>

namespace taktwerk::kits {
namespace {

// A layer may make a quiet sample much louder, but a gain beyond this is a typing error (and
// would only clip); Debian's kits go up to 5.
constexpr double kMaxGain = 16.0;

std::string utf8Of(const std::filesystem::path& path)
{
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Hydrogen writes plain decimals with a dot; anything else is not a number here.
std::optional<double> number(const pugi::xml_node& node, const char* name)
{
    const pugi::xml_node child = node.child(name);
    if (!child)
        return std::nullopt;
    return decimalNumber(child.text().as_string());
}

// Hydrogen's velocities run from 0 to 1, ours from 0 to 127: a layer answers the MIDI
// velocities v with min <= v / 127 <= max, so ranges that meet in Hydrogen meet here too.
// A kit file may say anything (1e300, nan): clamp while still a double, since converting a
// number outside int's range is undefined.
int velocityIn(double scaled)
{
    if (!(scaled > 0.0))
        return 0;
    return static_cast<int>(std::min(scaled, static_cast<double>(kMaxVelocity)));
}
int lowVelocity(double min) { return velocityIn(std::ceil(min * kMaxVelocity - 1e-6)); }
int highVelocity(double max) { return velocityIn(std::floor(max * kMaxVelocity + 1e-6)); }

class Reader {
public:
    explicit Reader(KitSource& kit) : kit_(kit) {}

    void instrument(const pugi::xml_node& node)
    {
        KitInstrument instrument;
        instrument.name = node.child("name").text().as_string();
        if (const auto note = number(node, "midiOutNote"); note && *note >= 0 && *note <= 127)
            instrument.midiNote = static_cast<int>(*note);
        const double volume = number(node, "volume").value_or(1.0);
        // Hydrogen counts its groups from 0 and writes -1 for none; ours start at 1.
        if (const auto group = number(node, "mute_group");
            group && *group >= 0.0 && *group < kMaxChokeGroup && *group == std::floor(*group))
            instrument.chokeGroup = instrument.chokedBy = static_cast<int>(*group) + 1;

        // The current layout: the first component that has layers (others are further
        // microphones of the same drum).
        for (const pugi::xml_node& component : node.children("instrumentComponent")) {
            const double gain = volume * number(component, "gain").value_or(1.0);
            layers(instrument, component, gain);
            if (!instrument.layers.empty())
                break;
        }
        if (instrument.layers.empty())
            layers(instrument, node, volume);
        // The oldest layout: one sample, no layer element.
        if (instrument.layers.empty()) {
            const std::string bare = node.child("filename").text().as_string();
            if (!bare.empty())
                addLayer(instrument, bare, 0.0, 1.0, volume);
        }
        if (instrument.layers.empty())
            return;
        if (kit_.instruments.size() >= kMaxInstruments) {
            tooMany_ = true;
            return;
        }
        kit_.instruments.push_back(std::move(instrument));
    }

    bool tooMany() const { return tooMany_; }

private:
    void layers(KitInstrument& instrument, const pugi::xml_node& parent, double gain)
    {
        for (const pugi::xml_node& layer : parent.children("layer")) {
            const std::string file = layer.child("filename").text().as_string();
            if (file.empty())
                continue;
            const auto min = number(layer, "min");
            const auto max = number(layer, "max");
            const auto layerGain = number(layer, "gain");
            if ((layer.child("min") && !min) || (layer.child("max") && !max) ||
                (layer.child("gain") && !layerGain)) {
                kit_.notes.push_back("\"" + instrument.name + "\": a layer of \"" + file +
                                     "\" has a velocity or gain that is no number; left out");
                continue;
            }
            addLayer(instrument, file, min.value_or(0.0), max.value_or(1.0),
                     gain * layerGain.value_or(1.0));
        }
    }

    void addLayer(KitInstrument& instrument, const std::string& file, double min, double max,
                  double gain)
    {
        if (instrument.layers.size() >= kMaxLayers) {
            kit_.notes.push_back("\"" + instrument.name + "\": more than " +
                                 std::to_string(kMaxLayers) + " layers; the rest left out");
            return;
        }
        const auto path = relativeSamplePath(file);
        if (!path) {
            kit_.notes.push_back("\"" + instrument.name + "\": sample path \"" + file +
                                 "\" leaves the kit's folder; refused");
            return;
        }
        if (min > max) {
            kit_.notes.push_back("\"" + instrument.name + "\": layer \"" + file +
                                 "\" has its velocity range upside down; turned round");
            std::swap(min, max);
        }
        KitLayer layer;
        layer.file = *path;
        layer.lowVelocity = lowVelocity(min);
        layer.highVelocity = std::max(layer.lowVelocity, highVelocity(max));
        layer.gain = std::clamp(gain, 0.0, kMaxGain);
        instrument.layers.push_back(std::move(layer));
    }

    KitSource& kit_;
    bool tooMany_ = false;
};

}  // namespace

core::Result<KitSource> parseHydrogenKit(std::string_view xml, const std::filesystem::path& folder)
{
    pugi::xml_document document;
    // No entity expansion beyond XML's own five: pugixml never fetches or expands external
    // entities, so a hostile DOCTYPE can neither read files nor blow up.
    const pugi::xml_parse_result parsed =
        document.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_auto);
    if (!parsed)
        return core::fail(core::translated("The file drumkit.xml is no valid XML."),
                          std::string(parsed.description()) + " at byte " +
                              std::to_string(parsed.offset));
    const pugi::xml_node root = document.child("drumkit_info");
    if (!root)
        return core::fail(core::translated("The file drumkit.xml describes no Hydrogen drum kit."),
                          "no <drumkit_info> element");

    KitSource kit;
    kit.format = KitSource::Format::Hydrogen;
    kit.folder = folder;
    kit.name = root.child("name").text().as_string();
    Reader reader(kit);
    for (const pugi::xml_node& instrument : root.child("instrumentList").children("instrument"))
        reader.instrument(instrument);
    if (reader.tooMany())
        kit.notes.push_back("more than " + std::to_string(kMaxInstruments) +
                            " instruments; the rest left out");
    if (kit.instruments.empty())
        return core::fail(core::translated("The drum kit \"%s\" holds no sounds.", {kit.name}),
                          "no instrument with a sample");
    return kit;
}

core::Result<std::string> readSmallFile(const std::filesystem::path& file, std::size_t maxBytes)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        return core::fail(core::translated("The file \"%s\" was not found.", {utf8Of(file)}),
                          error ? error.message() : "not a regular file");
    const auto size = std::filesystem::file_size(file, error);
    if (error || size > maxBytes)
        return core::fail(core::translated("The file \"%s\" is too big.", {utf8Of(file)}),
                          error ? error.message() : std::to_string(size) + " bytes");
    std::ifstream in(file, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())))
        return core::fail(core::translated("The file \"%s\" cannot be read.", {utf8Of(file)}),
                          "short read");
    return bytes;
}

core::Result<KitSource> readHydrogenKit(const std::filesystem::path& path)
{
    std::error_code error;
    const bool isFolder = std::filesystem::is_directory(path, error);
    const auto xmlFile = isFolder ? path / "drumkit.xml" : path;
    auto bytes = readSmallFile(xmlFile, kMaxKitFileBytes);
    if (!bytes)
        return core::fail(bytes.error().message, bytes.error().detail);
    return parseHydrogenKit(*bytes, isFolder ? path : path.parent_path());
}

}  // namespace taktwerk::kits
