#include "kits/KitMapping.h"

#include "core/Language.h"
#include "core/Windows1252.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <set>
#include <string_view>

namespace taktwerk::kits {
namespace {

enum class Role {
    Kick,
    Snare,
    Rimshot,
    SideStick,
    HatClosed,
    HatPedal,
    HatOpen,
    HatHalfOpen,
    Hat,
    Ride,
    RideBell,
    Cowbell,
    Crash,
    CrashRide,
    Cymbal,
    Tom,
    Click
};

enum class Family { Kick, Snare, Stick, Hat, Ride, Cowbell, Cymbal, Tom };

Family familyOf(Role role)
{
    switch (role) {
    case Role::Kick:
        return Family::Kick;
    case Role::Snare:
    case Role::Rimshot:
        return Family::Snare;
    case Role::SideStick:
    case Role::Click:
        return Family::Stick;
    case Role::HatClosed:
    case Role::HatPedal:
    case Role::HatOpen:
    case Role::HatHalfOpen:
    case Role::Hat:
        return Family::Hat;
    case Role::Ride:
    case Role::RideBell:
        return Family::Ride;
    case Role::Cowbell:
        return Family::Cowbell;
    case Role::Crash:
    case Role::CrashRide:
    case Role::Cymbal:
        return Family::Cymbal;
    case Role::Tom:
        return Family::Tom;
    }
    return Family::Kick;
}

struct Classified {
    Role role = Role::Kick;
    int order = 0;       // among instruments of one role, lower is preferred
    int pitch = 0;       // toms: higher sounds higher
    bool exact = false;  // the name says which articulation (closed, open, rimshot, bell)
};

// General MIDI percussion notes.
std::optional<Classified> classifyNote(int note)
{
    switch (note) {
    case 36:
        return Classified{Role::Kick, 0};
    case 35:
        return Classified{Role::Kick, 1};
    case 38:
        return Classified{Role::Snare, 0};
    case 40:
        return Classified{Role::Snare, 1};
    case 37:
        return Classified{Role::SideStick, 0};
    case 42:
        return Classified{Role::HatClosed, 0};
    case 44:
        return Classified{Role::HatPedal, 0};
    case 46:
        return Classified{Role::HatOpen, 0};
    case 51:
        return Classified{Role::Ride, 0};
    case 59:
        return Classified{Role::Ride, 1};
    case 53:
        return Classified{Role::RideBell, 0};
    case 56:
        return Classified{Role::Cowbell, 0};
    case 49:
        return Classified{Role::Crash, 0};
    case 57:
        return Classified{Role::Crash, 1};
    case 52:
    case 55:
        return Classified{Role::Cymbal, 0};
    case 41:
    case 43:
    case 45:
    case 47:
    case 48:
    case 50:
        return Classified{Role::Tom, 0, note};
    case 31:  // sticks
    case 33:  // metronome click
    case 34:  // metronome bell
    case 75:  // claves
        return Classified{Role::Click, 0};
    default:
        return std::nullopt;
    }
}

// The name in small letters, cut into words at every non-letter and between letters and
// digits: "Hi-Hat Closed" gives hi hat closed, "crash16inch" crash 16 inch.
std::vector<std::string> wordsOf(std::string_view name)
{
    std::vector<std::string> words;
    std::string word;
    auto flush = [&] {
        if (!word.empty())
            words.push_back(std::move(word));
        word.clear();
    };
    for (const char raw : name) {
        const auto c = static_cast<unsigned char>(raw);
        const bool letter = std::isalpha(c) != 0;
        const bool digit = std::isdigit(c) != 0;
        if (!letter && !digit) {
            flush();
            continue;
        }
        if (!word.empty() && (std::isdigit(static_cast<unsigned char>(word.back())) != 0) != digit)
            flush();
        word.push_back(static_cast<char>(std::tolower(c)));
    }
    flush();
    return words;
}

class Words {
public:
    explicit Words(std::string_view name) : words_(wordsOf(name)) {}
    bool has(std::initializer_list<std::string_view> any) const
    {
        return std::any_of(words_.begin(), words_.end(), [&](const std::string& word) {
            return std::find(any.begin(), any.end(), word) != any.end();
        });
    }
    // A word that is a tom: "tom", "toms", "tomhi", "floortom", but not "custom" or "bottom".
    std::optional<std::string> tomWord() const
    {
        for (const std::string& word : words_) {
            if (word.starts_with("tom"))
                return word.substr(3);
            for (std::string_view prefix : {"floor", "rack", "hi", "high", "lo", "low", "mid"}) {
                if (word == std::string(prefix) + "tom")
                    return std::string(prefix);
            }
        }
        return std::nullopt;
    }
    int number() const
    {
        for (const std::string& word : words_) {
            if (std::isdigit(static_cast<unsigned char>(word.front())) != 0 && word.size() <= 3)
                return std::stoi(word);
        }
        return 0;
    }

private:
    std::vector<std::string> words_;
};

// Where a tom sits by its name: high 0, middle 1, low 2, floor 3.
int tomRank(const Words& words, const std::string& tomRest)
{
    auto is = [&](std::initializer_list<std::string_view> any) {
        return words.has(any) || std::find(any.begin(), any.end(), tomRest) != any.end();
    };
    if (is({"floor"}))
        return 3;
    if (is({"lo", "low"}))
        return 2;
    if (is({"hi", "high", "rack", "small"}))
        return 0;
    return 1;
}

std::optional<Classified> classifyName(std::string_view name)
{
    const Words words(name);
    auto found = [](Role role, bool exact = false) { return Classified{role, 0, 0, exact}; };
    if (words.has({"cowbell"}) || (words.has({"cow"}) && words.has({"bell"})))
        return found(Role::Cowbell);
    if (words.has({"hat", "hihat", "hh", "chh", "ohh", "hhat", "hats", "hhclosed", "hhopen"})) {
        if (words.has({"semi", "half", "semiopen", "halfopen"}))
            return found(Role::HatHalfOpen, true);
        if (words.has({"open", "opened", "op", "ohh", "hhopen"}))
            return found(Role::HatOpen, true);
        if (words.has({"closed", "close", "cl", "chh", "hhclosed"}))
            return found(Role::HatClosed, true);
        if (words.has({"pedal", "pd", "foot"}))
            return found(Role::HatPedal, true);
        return Classified{Role::Hat, 1};
    }
    if (words.has({"crash"}))
        return words.has({"ride"}) ? found(Role::CrashRide, true) : found(Role::Crash);
    if (words.has({"splash", "china", "cymbal", "cym"}))
        return found(Role::Cymbal);
    if (words.has({"ride"}))
        return words.has({"bell", "cup"}) ? found(Role::RideBell, true) : found(Role::Ride);
    if (words.has({"bell"}))
        return found(Role::RideBell, true);
    if (const auto rest = words.tomWord()) {
        const int rank = tomRank(words, *rest);
        // Higher rank is lower; "Tom 1" is above "Tom 2" where nothing else tells them apart.
        return Classified{Role::Tom, 0, 1000 - rank * 100 - std::min(words.number(), 99)};
    }
    const bool rimshot = words.has({"rimshot"}) || (words.has({"rim"}) && words.has({"shot"}));
    if (words.has({"snare", "sn", "sd", "snaredrum"})) {
        if (rimshot || words.has({"rim"}))
            return found(Role::Rimshot, true);
        return Classified{Role::Snare, words.has({"roll"}) ? 1 : 0};
    }
    if (rimshot)
        return found(Role::Rimshot, true);
    if (words.has({"stick", "sidestick", "rim", "rimclick", "xstick"}))
        return found(Role::SideStick);
    if (words.has({"kick", "kik", "bd", "bassdrum", "kickdrum"}) ||
        (words.has({"bass"}) && words.has({"drum"})))
        return found(Role::Kick);
    if (words.has({"click", "clave", "claves", "metronome", "metro", "sticks"}))
        return found(Role::Click);
    return std::nullopt;
}

std::optional<Classified> classify(const KitInstrument& instrument, bool byNote)
{
    const auto byName = classifyName(instrument.name);
    const auto fromNote = byNote ? classifyNote(instrument.midiNote) : std::nullopt;
    if (!fromNote)
        return byName;
    if (!byName)
        return fromNote;
    // A name that names another kind of drum than its note is believed (kits reuse notes), but
    // the instruments whose note and name agree come first.
    if (familyOf(byName->role) != familyOf(fromNote->role)) {
        Classified result = *byName;
        result.order += 2;
        return result;
    }
    Classified result = *fromNote;
    if (byName->exact)
        result.role = byName->role;
    return result;
}

int fileIndex(std::string_view code)
{
    for (std::size_t i = 0; i < kSetFiles.size(); ++i) {
        if (core::equalsIgnoringCase(kSetFiles[i], code))
            return static_cast<int>(i);
    }
    return -1;
}

class Assigner {
public:
    Assigner(const KitSource& kit, bool byNote)
    {
        for (std::size_t i = 0; i < kit.instruments.size(); ++i) {
            if (const auto classified = classify(kit.instruments[i], byNote))
                byRole_[classified->role].push_back({static_cast<int>(i), *classified});
        }
        for (auto& [role, list] : byRole_) {
            std::stable_sort(list.begin(), list.end(), [](const Entry& a, const Entry& b) {
                if (a.classified.role == Role::Tom)
                    return a.classified.pitch > b.classified.pitch;
                return a.classified.order < b.classified.order;
            });
        }
    }

    void use(int instrument) { used_.insert(instrument); }

    // The first unused instrument of the roles, in the order given.
    int take(std::initializer_list<Role> roles)
    {
        for (Role role : roles) {
            for (const Entry& entry : byRole_[role]) {
                if (!used_.contains(entry.index)) {
                    used_.insert(entry.index);
                    return entry.index;
                }
            }
        }
        return kNoInstrument;
    }

    // Like take, but an instrument already in use may serve again (the click may be the
    // side stick's sample, too).
    int share(Role role)
    {
        const auto& list = byRole_[role];
        return list.empty() ? kNoInstrument : list.front().index;
    }

    // The unused toms, highest first.
    std::vector<std::pair<int, int>> toms()
    {
        std::vector<std::pair<int, int>> result;  // index, pitch
        for (const Entry& entry : byRole_[Role::Tom]) {
            if (!used_.contains(entry.index))
                result.emplace_back(entry.index, entry.classified.pitch);
        }
        return result;
    }

private:
    struct Entry {
        int index;
        Classified classified;
    };
    std::map<Role, std::vector<Entry>> byRole_;
    std::set<int> used_;
};

}  // namespace

bool notesArePlausible(const KitSource& kit)
{
    std::size_t noted = 0;
    std::set<int> distinct;
    bool anyDrum = false;
    for (const KitInstrument& instrument : kit.instruments) {
        if (instrument.midiNote < 0)
            continue;
        ++noted;
        distinct.insert(instrument.midiNote);
        anyDrum = anyDrum || classifyNote(instrument.midiNote).has_value();
    }
    // Three in four instruments with a note of their own: a kit with every instrument on
    // note 60 (several of Debian's) tells nothing by its notes.
    return noted >= 2 && anyDrum && distinct.size() * 4 >= noted * 3;
}

core::Result<KitMapping> mapKit(const KitSource& kit, const std::vector<MapOverride>& overrides)
{
    KitMapping mapping;
    mapping.files.fill(kNoInstrument);
    mapping.byNote = notesArePlausible(kit);
    Assigner assign(kit, mapping.byNote);

    std::array<bool, kSetFiles.size()> fixed{};
    for (const MapOverride& override : overrides) {
        const int file = fileIndex(override.file);
        if (file < 0)
            return core::fail(
                core::translated("\"%s\" is no file of a sample set (BD, SD, SD2, RM, HH, "
                                 "OH, RC, RC2, CB, CC, T1, T2, T3, ST).",
                                 {override.file}),
                "unknown file in --map");
        int instrument = kNoInstrument;
        if (!override.instrument.empty()) {
            for (std::size_t i = 0; i < kit.instruments.size(); ++i) {
                if (core::equalsIgnoringCase(kit.instruments[i].name, override.instrument)) {
                    instrument = static_cast<int>(i);
                    break;
                }
            }
            if (instrument == kNoInstrument)
                return core::fail(core::translated("The drum kit has no instrument \"%s\".",
                                                   {override.instrument}),
                                  "unknown instrument in --map");
            assign.use(instrument);
        }
        mapping.files[static_cast<std::size_t>(file)] = instrument;
        fixed[static_cast<std::size_t>(file)] = true;
    }

    auto set = [&](std::string_view code, std::initializer_list<Role> roles) {
        const auto file = static_cast<std::size_t>(fileIndex(code));
        if (!fixed[file])
            mapping.files[file] = assign.take(roles);
    };
    set("BD", {Role::Kick});
    set("SD", {Role::Snare});
    set("SD2", {Role::Rimshot, Role::Snare});
    set("RM", {Role::SideStick});
    set("HH", {Role::HatClosed, Role::HatPedal, Role::Hat});
    set("OH", {Role::HatOpen, Role::HatHalfOpen});
    set("RC", {Role::Ride, Role::CrashRide});
    set("RC2", {Role::Ride, Role::RideBell});
    set("CB", {Role::Cowbell});
    set("CC", {Role::Crash, Role::Cymbal, Role::CrashRide});
    set("ST", {Role::Click});
    const auto st = static_cast<std::size_t>(fileIndex("ST"));
    if (!fixed[st] && mapping.files[st] == kNoInstrument)
        mapping.files[st] = assign.share(Role::SideStick);

    // Toms: the highest and the lowest, and between them the one nearest the middle; any
    // others become extra toms.
    auto toms = assign.toms();
    std::array<int, 3> chosen{kNoInstrument, kNoInstrument, kNoInstrument};
    if (toms.size() <= 3) {
        for (std::size_t i = 0; i < toms.size(); ++i)
            chosen[i] = toms[i].first;
        toms.clear();
    } else {
        chosen[0] = toms.front().first;
        chosen[2] = toms.back().first;
        const int middle = (toms.front().second + toms.back().second) / 2;
        auto nearest = std::min_element(toms.begin() + 1, toms.end() - 1, [&](auto& a, auto& b) {
            return std::abs(a.second - middle) < std::abs(b.second - middle);
        });
        chosen[1] = nearest->first;
        toms.erase(nearest);
        toms.erase(toms.end() - 1);
        toms.erase(toms.begin());
    }
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        const auto file = static_cast<std::size_t>(fileIndex("T" + std::to_string(i + 1)));
        if (!fixed[file])
            mapping.files[file] = chosen[i];
    }
    for (const auto& [index, pitch] : toms) {
        if (mapping.extraToms.size() < kExtraTomFiles.size())
            mapping.extraToms.push_back(index);
    }
    return mapping;
}

}  // namespace taktwerk::kits
