#include "kits/SfzKit.h"

#include "core/Language.h"
#include "kits/HydrogenKit.h"
#include "kits/KitText.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace taktwerk::kits {
namespace {

// Drum kits have a few hundred regions at most; a file with more is broken or hostile.
constexpr std::size_t kMaxRegions = 8192;
// A region spread over more keys than an octave is a melodic instrument, not a drum: it
// becomes one instrument without a key instead of a dozen copies.
constexpr int kMaxDrumKeySpan = 12;
// volume= is in decibels; SFZ allows -144 to +6, and more would only clip.
constexpr double kMinVolumeDb = -144.0;
constexpr double kMaxVolumeDb = 24.0;

using Opcodes = std::map<std::string, std::string>;

bool isNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$';
}
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Values that may hold blanks (a sample path "Kick 1.wav"): they run up to the next opcode.
bool takesWholeRest(std::string_view opcode)
{
    return opcode == "sample" || opcode == "default_path" || opcode == "region_label" ||
           opcode == "group_label";
}

// Comments become blanks, line breaks stay, so that positions still mean lines.
std::string withoutComments(std::string_view text)
{
    std::string out(text);
    for (std::size_t i = 0; i + 1 < out.size(); ++i) {
        if (out[i] == '/' && out[i + 1] == '/') {
            while (i < out.size() && out[i] != '\n')
                out[i++] = ' ';
        } else if (out[i] == '/' && out[i + 1] == '*') {
            out[i] = out[i + 1] = ' ';
            i += 2;
            while (i < out.size() && !(out[i] == '*' && i + 1 < out.size() && out[i + 1] == '/')) {
                if (out[i] != '\n')
                    out[i] = ' ';
                ++i;
            }
            if (i + 1 < out.size())
                out[i] = out[i + 1] = ' ';
            ++i;
        }
    }
    return out;
}

std::string stem(const std::filesystem::path& file)
{
    const auto text = file.stem().u8string();
    return std::string(text.begin(), text.end());
}

struct Region {
    Opcodes opcodes;
};

class Parser {
public:
    core::Result<void> parse(std::string_view text)
    {
        const std::string clean = withoutComments(text);
        std::size_t lineStart = 0;
        while (lineStart < clean.size()) {
            std::size_t lineEnd = clean.find('\n', lineStart);
            if (lineEnd == std::string::npos)
                lineEnd = clean.size();
            line(std::string_view(clean).substr(lineStart, lineEnd - lineStart));
            if (regions_.size() > kMaxRegions)
                return core::fail(core::translated("The SFZ file has too many regions."),
                                  "more than " + std::to_string(kMaxRegions) + " regions");
            lineStart = lineEnd + 1;
        }
        endRegion();
        return {};
    }

    const std::vector<Region>& regions() const { return regions_; }
    const std::set<std::string>& ignored() const { return ignored_; }

private:
    enum class Level { None, Control, Global, Master, Group, Region, Other };

    void line(std::string_view line)
    {
        std::size_t i = 0;
        while (i < line.size()) {
            if (isBlank(line[i])) {
                ++i;
                continue;
            }
            if (line[i] == '#') {
                // #define and #include: not part of the drum subset.
                std::size_t end = i + 1;
                while (end < line.size() && isNameChar(line[end]))
                    ++end;
                ignored_.insert(std::string(line.substr(i, end - i)));
                return;
            }
            if (line[i] == '<') {
                const std::size_t close = line.find('>', i);
                if (close == std::string_view::npos) {
                    ignored_.insert("(unreadable text)");
                    return;
                }
                header(line.substr(i + 1, close - i - 1));
                i = close + 1;
                continue;
            }
            std::size_t nameEnd = i;
            while (nameEnd < line.size() && isNameChar(line[nameEnd]))
                ++nameEnd;
            if (nameEnd == i || nameEnd >= line.size() || line[nameEnd] != '=') {
                ignored_.insert("(unreadable text)");
                while (i < line.size() && !isBlank(line[i]))
                    ++i;
                continue;
            }
            const std::string name(line.substr(i, nameEnd - i));
            const std::size_t valueStart = nameEnd + 1;
            const std::size_t valueEnd = endOfValue(line, valueStart, takesWholeRest(name));
            std::string_view value = line.substr(valueStart, valueEnd - valueStart);
            while (!value.empty() && isBlank(value.back()))
                value.remove_suffix(1);
            opcode(name, std::string(value));
            i = valueEnd;
        }
    }

    // A value ends at a blank, or (for paths and labels) where the next opcode or header starts.
    static std::size_t endOfValue(std::string_view line, std::size_t start, bool wholeRest)
    {
        std::size_t i = start;
        if (!wholeRest) {
            while (i < line.size() && !isBlank(line[i]) && line[i] != '<')
                ++i;
            return i;
        }
        while (i < line.size()) {
            if (line[i] == '<')
                return i;
            if (isBlank(line[i])) {
                std::size_t next = i;
                while (next < line.size() && isBlank(line[next]))
                    ++next;
                std::size_t nameEnd = next;
                while (nameEnd < line.size() && isNameChar(line[nameEnd]))
                    ++nameEnd;
                if (next < line.size() &&
                    (line[next] == '<' ||
                     (nameEnd > next && nameEnd < line.size() && line[nameEnd] == '=')))
                    return i;
            }
            ++i;
        }
        return i;
    }

    void header(std::string_view name)
    {
        endRegion();
        if (name == "control") {
            level_ = Level::Control;
        } else if (name == "global") {
            level_ = Level::Global;
            global_.clear();
            master_.clear();
            group_.clear();
        } else if (name == "master") {
            level_ = Level::Master;
            master_.clear();
            group_.clear();
        } else if (name == "group") {
            level_ = Level::Group;
            group_.clear();
        } else if (name == "region") {
            level_ = Level::Region;
            region_ = Region{};
            for (const Opcodes* inherited : {&global_, &master_, &group_})
                for (const auto& [key, value] : *inherited)
                    region_.opcodes[key] = value;
            inRegion_ = true;
        } else {
            level_ = Level::Other;
            ignored_.insert("<" + std::string(name) + ">");
        }
    }

    void opcode(const std::string& name, std::string value)
    {
        static const std::set<std::string> kKnown{
            "sample", "key",   "lokey",  "hikey",        "lovel",       "hivel",
            "volume", "group", "off_by", "region_label", "group_label", "default_path"};
        // default_path belongs in <control> alone.
        if (!kKnown.contains(name) || (name == "default_path" && level_ != Level::Control)) {
            ignored_.insert(name);
            return;
        }
        switch (level_) {
        case Level::Control:
            if (name == "default_path")
                defaultPath_ = value;
            else
                ignored_.insert(name);
            break;
        case Level::Global:
            global_[name] = std::move(value);
            break;
        case Level::Master:
            master_[name] = std::move(value);
            break;
        case Level::Group:
            group_[name] = std::move(value);
            break;
        case Level::Region:
            region_.opcodes[name] = std::move(value);
            break;
        case Level::None:
        case Level::Other:
            break;
        }
        // The path a sample is found under is the default path as it stood at its region.
        if (level_ == Level::Region && name == "sample")
            region_.opcodes["default_path"] = defaultPath_;
    }

    void endRegion()
    {
        if (!inRegion_)
            return;
        inRegion_ = false;
        if (region_.opcodes.contains("sample")) {
            if (!region_.opcodes.contains("default_path"))
                region_.opcodes["default_path"] = defaultPath_;
            regions_.push_back(std::move(region_));
        }
    }

    Level level_ = Level::None;
    Opcodes global_, master_, group_;
    Region region_;
    bool inRegion_ = false;
    std::string defaultPath_;
    std::vector<Region> regions_;
    std::set<std::string> ignored_;
};

std::optional<int> velocityOpcode(const Opcodes& opcodes, const char* name, int fallback)
{
    const auto found = opcodes.find(name);
    if (found == opcodes.end())
        return fallback;
    const auto value = wholeNumber(found->second);
    if (!value || *value < 0 || *value > kMaxVelocity)
        return std::nullopt;
    return static_cast<int>(*value);
}

std::optional<int> keyOpcode(const Opcodes& opcodes, const char* name)
{
    const auto found = opcodes.find(name);
    if (found == opcodes.end())
        return std::nullopt;
    return sfzKey(found->second);
}

// A choke group: 1..kMaxChokeGroup; 0 (none) for anything else, the SFZ default included.
int chokeGroupOf(const Opcodes& opcodes, const char* name)
{
    const auto found = opcodes.find(name);
    if (found == opcodes.end())
        return 0;
    const auto value = wholeNumber(found->second);
    return value && *value >= 1 && *value <= kMaxChokeGroup ? static_cast<int>(*value) : 0;
}

}  // namespace

std::optional<int> sfzKey(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    if (const auto number = wholeNumber(text))
        return *number >= 0 && *number <= 127 ? std::optional<int>(static_cast<int>(*number))
                                              : std::nullopt;
    if (text.empty())
        return std::nullopt;
    static constexpr std::array<int, 7> kSemitones{9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
    const char letter = static_cast<char>(text.front() | 0x20);
    if (letter < 'a' || letter > 'g')
        return std::nullopt;
    int semitone = kSemitones[static_cast<std::size_t>(letter - 'a')];
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '#') {
        ++semitone;
        text.remove_prefix(1);
    } else if (!text.empty() && text.front() == 'b' && text.size() > 1) {
        --semitone;
        text.remove_prefix(1);
    }
    const auto octave = wholeNumber(text);
    if (!octave || *octave < -1 || *octave > 9)
        return std::nullopt;
    const long long key = (*octave + 1) * 12 + semitone;  // c4 is middle C, 60
    if (key < 0 || key > 127)
        return std::nullopt;
    return static_cast<int>(key);
}

core::Result<KitSource> parseSfzKit(std::string_view text, const std::filesystem::path& folder,
                                    std::string name)
{
    KitSource kit;
    kit.format = KitSource::Format::Sfz;
    kit.folder = folder;
    kit.name = std::move(name);
    Parser parser;
    if (auto parsed = parser.parse(text); !parsed)
        return core::fail(parsed.error().message, parsed.error().detail);

    // One instrument per key, in key order; keyless regions after them, one per sample name.
    std::map<int, KitInstrument> byKey;
    std::map<std::string, KitInstrument> keyless;
    std::vector<std::string> keylessOrder;
    for (const Region& region : parser.regions()) {
        const Opcodes& op = region.opcodes;
        const std::string sampleText = op.at("default_path") + op.at("sample");
        const auto path = relativeSamplePath(sampleText);
        if (!path) {
            kit.notes.push_back("sample path \"" + sampleText +
                                "\" leaves the kit's folder; refused");
            continue;
        }
        auto low = velocityOpcode(op, "lovel", 0);
        auto high = velocityOpcode(op, "hivel", kMaxVelocity);
        if (!low || !high) {
            kit.notes.push_back("\"" + sampleText + "\": lovel or hivel is no velocity; left out");
            continue;
        }
        if (*low > *high) {
            kit.notes.push_back("\"" + sampleText + "\": velocity range upside down; turned round");
            std::swap(*low, *high);
        }
        double gain = 1.0;
        if (const auto volume = op.find("volume"); volume != op.end()) {
            const auto db = decimalNumber(volume->second);
            if (db)
                gain = std::pow(10.0, std::clamp(*db, kMinVolumeDb, kMaxVolumeDb) / 20.0);
        }
        const KitLayer layer{*path, *low, *high, gain};

        auto lowKey = keyOpcode(op, "lokey");
        auto highKey = keyOpcode(op, "hikey");
        if (const auto key = keyOpcode(op, "key"))
            lowKey = highKey = key;
        std::string label = stem(*path);
        for (const char* labelOpcode : {"region_label", "group_label"}) {
            if (const auto found = op.find(labelOpcode);
                found != op.end() && !found->second.empty())
                label = found->second;
        }
        auto add = [&](KitInstrument& instrument) {
            if (instrument.name.empty()) {
                instrument.name = label;
                instrument.chokeGroup = chokeGroupOf(op, "group");
                instrument.chokedBy = chokeGroupOf(op, "off_by");
            }
            if (instrument.layers.size() < kMaxLayers)
                instrument.layers.push_back(layer);
        };
        if (lowKey && highKey && *lowKey <= *highKey && *highKey - *lowKey <= kMaxDrumKeySpan) {
            for (int key = *lowKey; key <= *highKey; ++key) {
                KitInstrument& instrument = byKey[key];
                instrument.midiNote = key;
                add(instrument);
            }
        } else {
            if (!keyless.contains(label))
                keylessOrder.push_back(label);
            add(keyless[label]);
        }
    }
    for (auto& [key, instrument] : byKey) {
        if (kit.instruments.size() < kMaxInstruments)
            kit.instruments.push_back(std::move(instrument));
    }
    for (const std::string& label : keylessOrder) {
        if (kit.instruments.size() < kMaxInstruments)
            kit.instruments.push_back(std::move(keyless[label]));
    }
    if (!parser.ignored().empty()) {
        std::string list;
        for (const std::string& item : parser.ignored())
            list += (list.empty() ? "" : ", ") + item;
        kit.notes.push_back("ignored: " + list);
    }
    if (kit.instruments.empty())
        return core::fail(core::translated("The SFZ file holds no sounds."),
                          "no region with a sample");
    return kit;
}

core::Result<KitSource> readSfzKit(const std::filesystem::path& file)
{
    auto bytes = readSmallFile(file, kMaxKitFileBytes);
    if (!bytes)
        return core::fail(bytes.error().message, bytes.error().detail);
    return parseSfzKit(*bytes, file.parent_path(), stem(file));
}

}  // namespace taktwerk::kits
