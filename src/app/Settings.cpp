#include "app/Settings.h"

#include "core/Numbers.h"
#include "core/Paths.h"
#include "core/Profile.h"
#include "core/Windows1252.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace taktwerk::app {

namespace fs = std::filesystem;

namespace {

// New with the MIDI clock; the old program never reads it.
constexpr std::string_view kClockKey = "SendMIDIClock";
constexpr std::string_view kAskKey = "AskToSave";
constexpr std::string_view kHearKey = "HearSteps";
constexpr std::string_view kDrumNotesSection = "MIDI In";
// New with following a master's clock.
constexpr std::string_view kSyncKey = "SyncSource";
constexpr std::string_view kSyncMidi = "MIDI";
constexpr std::string_view kSyncInternal = "Internal";
// New with choosing MIDI ports by name.
constexpr std::string_view kMidiOutKey = "MidiOutPort";
constexpr std::string_view kMidiInKey = "MidiInPort";
// Port names come from other programs and may hold what the file's code page cannot (a
// Japanese synth's name) or a line break; such a name is kept as this mark and its bytes, the
// unusual ones as %XX. A name that itself starts with the mark is kept so too, so that reading
// back never mistakes one for the other.
constexpr std::string_view kEscapedMark = "utf8:";
// New with leading and following the JACK transport.
constexpr std::string_view kTimebaseKey = "JackTimebase";
constexpr std::string_view kSyncJack = "JACK";

std::optional<std::string> variable(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr)
        return std::nullopt;
    return std::string(value);
}

// The folder with a trailing separator, as the rest of the program composes names onto it.
fs::path asFolder(const fs::path& folder) { return folder / ""; }

// HOME may be unset (a service, `env -i`); the user's entry in the system then still knows
// the home folder, as GLib and Qt also ask it.
std::optional<std::string> homeFolder()
{
    if (auto home = variable("HOME"); home && !home->empty())
        return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    constexpr long kFallbackBufferBytes = 16384;  // when the system gives no hint
    std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : kFallbackBufferBytes));
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr || *found->pw_dir == '\0')
        return std::nullopt;
    return std::string(found->pw_dir);
}

// The layout of an install: the program in <prefix>/bin, what it ships in
// <prefix>/share/taktwerk. Recognised by that folder rather than by a list of prefixes, so that
// ~/.local, /app (Flatpak) and /nix/store/... count as installed too.
fs::path installedShare(const fs::path& programFolder)
{
    return programFolder / ".." / "share" / "taktwerk";
}

// An XDG base folder: the variable when it holds an absolute path, else home + fallback. With
// no home at all the root folder stands in, as GLib does: an installed copy must never fall
// back to writing into its prefix.
fs::path baseFolder(const std::optional<std::string>& xdg, const std::optional<std::string>& home,
                    const char* fallback)
{
    if (xdg && core::pathFromUtf8(*xdg).is_absolute())
        return core::pathFromUtf8(*xdg);
    if (home && core::pathFromUtf8(*home).is_absolute())
        return core::pathFromUtf8(*home) / fallback;
    return fs::path("/") / fallback;
}

void setNumber(std::int16_t& target, const core::ProfileFile* file, std::string_view section,
               std::string_view key, std::string_view fallback)
{
    const std::string text = file ? file->read(section, key, fallback) : std::string(fallback);
    if (const auto number = core::leadingInt16(text))
        target = *number;
}

bool isPlainName(std::string_view name)
{
    if (name.rfind(kEscapedMark, 0) == 0 || !core::utf8ToCp1252(name))
        return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;  // control characters
    });
}

std::string portNameText(const std::string& name)
{
    if (isPlainName(name))
        return name;
    constexpr std::string_view kHex = "0123456789ABCDEF";
    std::string text(kEscapedMark);
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        // Blanks are escaped too: the file would trim them at either end.
        if (byte > 0x20 && byte < 0x7F && c != '%') {
            text += c;
        } else {
            text += '%';
            text += kHex[byte >> 4];
            text += kHex[byte & 0xF];
        }
    }
    return text;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A mangled escape is kept as it stands: the name then matches no port and the user is told.
// NUL is never decoded, as no port name can hold it.
std::string portNameFrom(std::string_view text)
{
    if (text.rfind(kEscapedMark, 0) != 0)
        return std::string(text);
    std::string name;
    for (std::size_t at = kEscapedMark.size(); at < text.size(); ++at) {
        const int high = at + 2 < text.size() && text[at] == '%' ? hexDigit(text[at + 1]) : -1;
        const int low = high >= 0 ? hexDigit(text[at + 2]) : -1;
        if (low >= 0 && (high | low) != 0) {
            name += static_cast<char>(high * 16 + low);
            at += 2;
        } else {
            name += text[at];
        }
    }
    return name;
}

devices::MidiPortChoice portChoiceFrom(const core::ProfileFile* profile, std::string_view section,
                                       std::string_view key, devices::MidiPortChoice fallback)
{
    const auto value = profile ? profile->get(section, key) : std::nullopt;
    if (!value)
        return fallback;
    if (core::equalsIgnoringCase(*value, devices::kNoMidiPort))
        return devices::MidiPortChoice::none();
    return devices::MidiPortChoice::named(portNameFrom(*value));
}

// Written only while it differs from the default, so that a file whose user never chose keeps
// the old program's bytes.
void setPortChoice(core::ProfileFile& file, std::string_view section, std::string_view key,
                   const devices::MidiPortChoice& choice, const devices::MidiPortChoice& fallback)
{
    if (choice == fallback) {
        if (file.get(section, key))
            file.erase(section, key);
        return;
    }
    file.set(section, key,
             choice.kind == devices::MidiPortChoice::Kind::None ? std::string(devices::kNoMidiPort)
                                                                : portNameText(choice.name));
}

}  // namespace

fs::path executablePath()
{
    std::error_code error;
    const fs::path path = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : path;
}

Environment processEnvironment()
{
    return Environment{executablePath(), variable("TAKTWERK_HOME"), variable("XDG_DATA_HOME"),
                       variable("XDG_CONFIG_HOME"), homeFolder()};
}

Settings InitPaths(const Environment& environment)
{
    Settings settings;
    const fs::path folder = environment.executable.parent_path();
    // Only a Windows-style ".exe" is dropped: on Linux a dot in the program's name is part of
    // it, and the settings file keeps following the whole name ("drums-2.1" reads
    // drums-2.1.ini).
    std::string name = core::utf8FromPath(environment.executable.filename());
    if (name.size() > 4 &&
        core::equalsIgnoringCase(std::string_view(name).substr(name.size() - 4), ".exe"))
        name.resize(name.size() - 4);
    settings.ExeName = name;

    // A relative or empty name (the system could not say where the program is) tells nothing.
    const bool installed = folder.is_absolute() && core::DirExists(installedShare(folder));
    settings.shippedDir = asFolder(
        (installed ? installedShare(folder) : folder / "share" / "taktwerk").lexically_normal());

    if (environment.taktwerkHome && !environment.taktwerkHome->empty()) {
        std::error_code error;
        const fs::path home = core::pathFromUtf8(*environment.taktwerkHome);
        const fs::path absolute = fs::absolute(home, error);
        settings.AppDir = asFolder(error ? home : absolute);
    } else {
        settings.AppDir = asFolder(folder);
    }
    settings.RhythmDir = settings.AppDir / "Rhythms" / "";
    settings.SoundDir = settings.AppDir / "Sound" / "";
    settings.IniFile = settings.AppDir / core::pathFromUtf8(settings.ExeName + ".ini");

    if ((environment.taktwerkHome && !environment.taktwerkHome->empty()) || !installed)
        return settings;
    const fs::path data = baseFolder(environment.xdgDataHome, environment.home, ".local/share");
    const fs::path config = baseFolder(environment.xdgConfigHome, environment.home, ".config");
    settings.RhythmDir = data / "taktwerk" / "Rhythms" / "";
    settings.SoundDir = data / "taktwerk" / "Sound" / "";
    settings.IniFile = config / "taktwerk" / "taktwerk.ini";
    return settings;
}

void LoadSettings(Settings& settings)
{
    settings.AppTitle = "Quorrel Taktwerk";
    // Results ignored: a folder that cannot be made only leaves its lists empty.
    for (const fs::path& folder :
         {settings.RhythmDir, settings.SoundDir, settings.IniFile.parent_path()}) {
        if (!core::DirExists(folder))
            (void)core::MakeDirs(folder);
    }
    // An unreadable settings file reads like a missing one: the defaults.
    const auto file = core::ProfileFile::open(settings.IniFile);
    const core::ProfileFile* profile = file ? &*file : nullptr;
    const std::string_view section = settings.AppTitle;
    settings.SoundSet = profile ? profile->read(section, "Sound", "Default") : "Default";
    setNumber(settings.SoundDevice, profile, section, "Device", "1");
    setNumber(settings.ModeSetting, profile, section, "Mode", "0");
    setNumber(settings.ClickNote, profile, section, "MIDIClick", "37");
    // Only a plain 0 stops the question: a garbled key must never let an edit go unasked.
    const auto askToSave =
        core::leadingNumberIfAny(profile ? profile->read(section, kAskKey, "") : std::string());
    settings.AskToSave = askToSave && *askToSave == 0.0 ? 0 : 1;
    // The same for hearing steps: only a plain 0 silences them.
    const auto hearSteps =
        core::leadingNumberIfAny(profile ? profile->read(section, kHearKey, "") : std::string());
    settings.hearSteps = !(hearSteps && *hearSteps == 0.0);
    settings.Volume = kFullVolume;
    if (const auto volume = core::leadingNumberIfAny(profile ? profile->read(section, "Volume", "")
                                                             : std::string()))
        settings.Volume = static_cast<std::int16_t>(
            std::nearbyint(std::clamp(*volume, 0.0, static_cast<double>(kFullVolume))));
    // Anything but a plain 1 leaves it off: a garbled file must not start a clock that
    // drives other machines.
    settings.sendMidiClock =
        profile && core::leadingNumberIfAny(profile->read(section, kClockKey, "")) == 1.0;
    // Likewise: a garbled file must not take the studio's transport over.
    settings.jackTimebase =
        profile && core::leadingNumberIfAny(profile->read(section, kTimebaseKey, "")) == 1.0;
    // Anything but "MIDI" or "JACK" plays on our own clock: a garbled value must not leave the
    // machine waiting for a master that is not there.
    const std::string sync = profile ? profile->read(section, kSyncKey, "") : std::string();
    settings.sync = core::equalsIgnoringCase(sync, kSyncMidi) ? playback::SyncSource::MidiClock
                    : core::equalsIgnoringCase(sync, kSyncJack)
                        ? playback::SyncSource::JackTransport
                        : playback::SyncSource::Internal;
    settings.drumNotes = sound::DrumNoteMap::generalMidi();
    for (int track = 0; profile && track < pattern::kTrackCount; ++track) {
        const std::string_view key = pattern::kTrackKeys[static_cast<std::size_t>(track)];
        // A missing key (or an empty value, which reads as missing) keeps the GM notes; a
        // value without any note ("none") leaves the pad to the mouse.
        if (const auto notes = profile->get(kDrumNotesSection, key))
            settings.drumNotes.setNotesText(track, *notes);
    }
    settings.midiOut = portChoiceFrom(profile, section, kMidiOutKey, {});
    settings.midiIn = portChoiceFrom(profile, section, kMidiInKey, devices::MidiPortChoice::none());
    settings.Tom1Sound = "Tom 1";
    settings.Tom2Sound = "Tom 2";
    settings.Tom3Sound = "Tom 3";
}

core::Result<void> saveMode(const Settings& settings)
{
    auto file = core::ProfileFile::open(settings.IniFile);
    if (!file)
        return core::Unexpected<core::Error>(file.error());
    file->set(settings.AppTitle, "Mode", core::decimalText(settings.ModeSetting));
    return file->commit();
}

core::Result<void> saveVolume(const Settings& settings)
{
    auto file = core::ProfileFile::open(settings.IniFile);
    if (!file)
        return core::Unexpected<core::Error>(file.error());
    file->set(settings.AppTitle, "Volume", core::decimalText(settings.Volume));
    return file->commit();
}

core::Result<void> saveSoundSettings(const Settings& settings, bool writeSound)
{
    auto file = core::ProfileFile::open(settings.IniFile);
    if (!file)
        return core::Unexpected<core::Error>(file.error());
    if (writeSound)
        file->set(settings.AppTitle, "Sound", settings.SoundSet);
    file->set(settings.AppTitle, "Device", core::decimalText(settings.SoundDevice));
    file->set(settings.AppTitle, "MIDIClick", core::decimalText(settings.ClickNote));
    if (settings.sendMidiClock || !file->read(settings.AppTitle, kClockKey, "").empty())
        file->set(settings.AppTitle, kClockKey, settings.sendMidiClock ? "1" : "0");
    if (settings.AskToSave == 0 || !file->read(settings.AppTitle, kAskKey, "").empty())
        file->set(settings.AppTitle, kAskKey, settings.AskToSave == 0 ? "0" : "1");
    if (!settings.hearSteps || !file->read(settings.AppTitle, kHearKey, "").empty())
        file->set(settings.AppTitle, kHearKey, settings.hearSteps ? "1" : "0");
    const bool following = settings.sync != playback::SyncSource::Internal;
    if (following || !file->read(settings.AppTitle, kSyncKey, "").empty())
        file->set(settings.AppTitle, kSyncKey,
                  settings.sync == playback::SyncSource::MidiClock       ? kSyncMidi
                  : settings.sync == playback::SyncSource::JackTransport ? kSyncJack
                                                                         : kSyncInternal);
    if (settings.jackTimebase || !file->read(settings.AppTitle, kTimebaseKey, "").empty())
        file->set(settings.AppTitle, kTimebaseKey, settings.jackTimebase ? "1" : "0");
    setPortChoice(*file, settings.AppTitle, kMidiOutKey, settings.midiOut, {});
    setPortChoice(*file, settings.AppTitle, kMidiInKey, settings.midiIn,
                  devices::MidiPortChoice::none());
    // Only a pad whose notes differ from General MIDI gets its key (or one already there), so
    // that a file never learned in reads as the old program wrote it.
    const sound::DrumNoteMap generalMidi = sound::DrumNoteMap::generalMidi();
    for (int track = 0; track < pattern::kTrackCount; ++track) {
        const std::string_view key = pattern::kTrackKeys[static_cast<std::size_t>(track)];
        const std::string notes = settings.drumNotes.notesText(track);
        if (notes == generalMidi.notesText(track) && !file->get(kDrumNotesSection, key))
            continue;
        // An empty value would read as missing, which gives the pad its GM notes back.
        file->set(kDrumNotesSection, key, notes.empty() ? "none" : notes);
    }
    return file->commit();
}

}  // namespace taktwerk::app
