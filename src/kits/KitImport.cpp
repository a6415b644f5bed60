#include "kits/KitImport.h"

#include "core/AtomicFile.h"
#include "core/Language.h"
#include "core/Paths.h"
#include "core/Windows1252.h"
#include "kits/HydrogenKit.h"
#include "kits/KitIni.h"
#include "kits/KitText.h"
#include "kits/SfzKit.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <sndfile.h>
#include <system_error>

namespace taktwerk::kits {
namespace {

struct SndfileCloser {
    void operator()(SNDFILE* file) const noexcept { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

// Rates outside this range are a damaged header rather than audio.
constexpr int kMinSampleRate = 1000;
constexpr int kMaxSampleRate = 768000;
constexpr sf_count_t kChunkFrames = 4096;

std::string utf8Of(const std::filesystem::path& path)
{
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool hasExtension(const std::filesystem::path& file, std::string_view extension)
{
    return core::equalsIgnoringCase(utf8Of(file.extension()), extension);
}

// 24-bit sources (and 32-bit and float ones, which a 16-bit file would coarsen) stay 24-bit;
// everything else is written as 16-bit, which every program reads.
int pcmFormatFor(int sourceFormat)
{
    switch (sourceFormat & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
        return SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    default:
        return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    }
}

// Writes one sample of the kit into the set as PCM WAV, at its own rate. Fails with the
// reason for the report.
core::Result<void> writeSample(const std::filesystem::path& from, const std::filesystem::path& to)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(from, error))
        return core::fail("missing", "not a regular file");
    SF_INFO in{};
    SndfileHandle source(sf_open(from.c_str(), SFM_READ, &in));
    if (!source)
        return core::fail("unreadable", sf_strerror(nullptr));
    if (in.channels < 1 || in.frames <= 0 || in.samplerate < kMinSampleRate ||
        in.samplerate > kMaxSampleRate)
        return core::fail("unreadable", "empty, or an impossible rate or channel count");
    const int channels = std::min(in.channels, 2);
    SF_INFO out{};
    out.samplerate = in.samplerate;
    out.channels = channels;
    out.format = pcmFormatFor(in.format);
    SndfileHandle target(sf_open(to.c_str(), SFM_WRITE, &out));
    if (!target)
        return core::fail("not written", sf_strerror(nullptr));
    // Float sources may go past full scale; the integer file holds it at full scale.
    sf_command(target.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);

    const auto maxFrames =
        std::min<sf_count_t>(in.frames, static_cast<sf_count_t>(kMaxImportSeconds * in.samplerate));
    std::vector<float> chunk(static_cast<std::size_t>(kChunkFrames * in.channels));
    std::vector<float> kept(static_cast<std::size_t>(kChunkFrames * channels));
    sf_count_t done = 0;
    while (done < maxFrames) {
        const sf_count_t got =
            sf_readf_float(source.get(), chunk.data(), std::min(kChunkFrames, maxFrames - done));
        if (got <= 0)
            break;
        for (sf_count_t frame = 0; frame < got; ++frame) {
            for (int channel = 0; channel < channels; ++channel) {
                const float value = chunk[static_cast<std::size_t>(frame * in.channels + channel)];
                kept[static_cast<std::size_t>(frame * channels + channel)] =
                    std::isfinite(value) ? value : 0.0f;
            }
        }
        if (sf_writef_float(target.get(), kept.data(), got) != got)
            return core::fail("not written", sf_strerror(target.get()));
        done += got;
    }
    if (done == 0)
        return core::fail("unreadable", "no audio");
    return {};
}

// writeSample, leaving no half-written file behind when it fails: the file's name may yet be
// taken by another layer or by the Default set's file.
core::Result<void> convertSample(const std::filesystem::path& from, const std::filesystem::path& to)
{
    auto written = writeSample(from, to);
    if (!written) {
        std::error_code ignored;  // the reason reported is the one above
        std::filesystem::remove(to, ignored);
    }
    return written;
}

class SetWriter {
public:
    SetWriter(const KitSource& kit, const std::filesystem::path& folder, ImportReport& report)
        : kit_(kit), folder_(folder), report_(report)
    {
    }

    // Writes `code`.wav and its layers from instrument `index`. Returns the kit.ini entry, or
    // nothing when not one of its samples could be read.
    std::optional<KitIniEntry> instrument(std::string_view code, int index)
    {
        const KitInstrument& instrument = kit_.instruments[static_cast<std::size_t>(index)];
        // Layers whose sample cannot be used are dropped first, so the loudest is picked
        // among those that sound.
        std::vector<KitLayer> usable;
        std::vector<std::filesystem::path> files;
        for (const KitLayer& layer : instrument.layers) {
            const auto file = kit_.folder / layer.file;
            if (!staysInside(kit_.folder, file)) {
                note(instrument, layer, "leaves the kit's folder (a link?); refused");
                continue;
            }
            usable.push_back(layer);
            files.push_back(file);
        }
        KitIniEntry entry;
        entry.code = std::string(code);
        entry.instrument = forWindows1252(instrument.name);
        entry.chokeGroup = instrument.chokeGroup;
        entry.chokedBy = instrument.chokedBy;
        while (!usable.empty()) {
            const auto loudest = static_cast<std::size_t>(pickLayer(usable, kMaxVelocity));
            const std::string mainName = std::string(code) + ".wav";
            if (auto written = convertSample(files[loudest], folder_ / mainName); !written) {
                note(instrument, usable[loudest],
                     written.error().message + " (" + written.error().detail + "); left out");
                usable.erase(usable.begin() + static_cast<std::ptrdiff_t>(loudest));
                files.erase(files.begin() + static_cast<std::ptrdiff_t>(loudest));
                continue;
            }
            int number = 0;
            for (std::size_t i = 0; i < usable.size(); ++i) {
                std::string name = mainName;
                if (i != loudest) {
                    name = std::string(code) + "-" + std::to_string(++number) + ".wav";
                    if (auto written = convertSample(files[i], folder_ / name); !written) {
                        note(instrument, usable[i],
                             written.error().message + " (" + written.error().detail +
                                 "); left out");
                        --number;
                        continue;
                    }
                }
                entry.layers.push_back(
                    {name, usable[i].lowVelocity, usable[i].highVelocity, usable[i].gain});
            }
            return entry;
        }
        return std::nullopt;
    }

private:
    void note(const KitInstrument& instrument, const KitLayer& layer, const std::string& what)
    {
        report_.notes.push_back("\"" + instrument.name + "\": sample \"" + utf8Of(layer.file) +
                                "\" " + what);
    }

    const KitSource& kit_;
    const std::filesystem::path& folder_;
    ImportReport& report_;
};

// The set folder of `name` in `soundDir`, found without regard to letter case: the settings
// file names sets that way, so "gmrockkit" and "GMRockKit" are one set.
std::optional<std::filesystem::path> existingSet(const std::filesystem::path& soundDir,
                                                 std::string_view name)
{
    std::error_code error;
    for (auto item = std::filesystem::directory_iterator(soundDir, error);
         !error && item != std::filesystem::directory_iterator(); item.increment(error)) {
        if (core::equalsIgnoringCase(utf8Of(item->path().filename()), name))
            return item->path();
    }
    return std::nullopt;
}

constexpr std::string_view kBuildPrefix = ".taktwerk-import-";
constexpr std::string_view kAsidePrefix = ".taktwerk-old-";
// An import takes seconds; a staging folder this old was left by one that was killed.
constexpr auto kStaleAfter = std::chrono::hours(1);

// Removes what killed imports left in `soundDir`: the sample-set list shows every folder, and
// a half-built set there would look like one the user made.
void removeStaleStaging(const std::filesystem::path& soundDir)
{
    std::error_code error;
    const auto now = std::filesystem::file_time_type::clock::now();
    std::vector<std::filesystem::path> stale;
    for (auto item = std::filesystem::directory_iterator(soundDir, error);
         !error && item != std::filesystem::directory_iterator(); item.increment(error)) {
        const std::string name = utf8Of(item->path().filename());
        if (!name.starts_with(kBuildPrefix) && !name.starts_with(kAsidePrefix))
            continue;
        std::error_code itemError;
        const auto modified = std::filesystem::last_write_time(item->path(), itemError);
        if (!itemError && now - modified > kStaleAfter)
            stale.push_back(item->path());
    }
    for (const auto& folder : stale) {
        std::error_code ignored;  // what cannot go now is tried again by the next import
        std::filesystem::remove_all(folder, ignored);
    }
}

core::Result<void> placeSet(const TemporaryFolder& built, const std::filesystem::path& target,
                            const std::optional<std::filesystem::path>& existing,
                            const std::filesystem::path& soundDir)
{
    std::error_code error;
    const std::string failed =
        core::translated("The sample set \"%s\" could not be made.", {utf8Of(target.filename())});
    if (!existing) {
        std::filesystem::rename(built.path(), target, error);
        return error ? core::fail(failed, error.message()) : core::Result<void>{};
    }
    // The old set steps aside first and goes only once the new one stands in its place.
    auto aside = TemporaryFolder::create(soundDir, kAsidePrefix);
    if (!aside)
        return core::fail(failed, aside.error().detail);
    const auto oldSet = aside->path() / "set";
    std::filesystem::rename(*existing, oldSet, error);
    if (error)
        return core::fail(failed, error.message());
    std::filesystem::rename(built.path(), target, error);
    if (error) {
        std::error_code ignored;  // the reported failure is the one above
        std::filesystem::rename(oldSet, *existing, ignored);
        return core::fail(failed, error.message());
    }
    return {};
}

}  // namespace

core::Result<KitSource> readKit(const std::filesystem::path& source,
                                std::optional<TemporaryFolder>& unpacked,
                                const ArchiveLimits& limits)
{
    std::error_code error;
    if (std::filesystem::is_directory(source, error))
        return readHydrogenKit(source);
    if (!std::filesystem::is_regular_file(source, error))
        return core::fail(core::translated("\"%s\" was not found.", {utf8Of(source)}),
                          error ? error.message() : "no such file or folder");
    if (hasExtension(source, ".sfz"))
        return readSfzKit(source);
    if (hasExtension(source, ".xml"))
        return readHydrogenKit(source);
    if (hasExtension(source, ".h2drumkit") || hasExtension(source, ".gz") ||
        hasExtension(source, ".tar")) {
        auto folder = TemporaryFolder::create();
        if (!folder)
            return core::fail(folder.error().message, folder.error().detail);
        if (auto done = unpackKitArchive(source, folder->path(), limits); !done)
            return core::fail(done.error().message, done.error().detail);
        const auto kitFolder = findDrumkitFolder(folder->path());
        unpacked = std::move(*folder);
        if (kitFolder.empty())
            return core::fail(core::translated("The archive \"%s\" holds no Hydrogen drum kit.",
                                               {utf8Of(source)}),
                              "no drumkit.xml");
        return readHydrogenKit(kitFolder);
    }
    return core::fail(
        core::translated("\"%s\" is no drum kit that can be imported (a Hydrogen folder, an "
                         ".h2drumkit or an .sfz file).",
                         {utf8Of(source)}),
        "unknown kind of file");
}

core::Result<ImportReport> importKit(const ImportOptions& options)
{
    if (!options.name.empty() && !isPlainSetName(options.name))
        return core::fail(
            core::translated("The name \"%s\" will not do as the name of a sample set.",
                             {options.name}),
            "a set name is one plain folder name");
    std::optional<TemporaryFolder> unpacked;
    auto kit = readKit(options.source, unpacked, options.archiveLimits);
    if (!kit)
        return core::fail(kit.error().message, kit.error().detail);
    auto mapping = mapKit(*kit, options.overrides);
    if (!mapping)
        return core::fail(mapping.error().message, mapping.error().detail);

    ImportReport report;
    report.kitName = kit->name;
    report.format = kit->format;
    report.byNote = mapping->byNote;
    report.notes = kit->notes;
    const std::string fallbackName = utf8Of(options.source.stem());
    report.setName = !options.name.empty()
                         ? options.name
                         : setNameFrom(kit->name.empty() ? fallbackName : kit->name);
    report.setDir = options.soundDir / core::pathFromUtf8(report.setName);

    std::error_code error;
    std::filesystem::create_directories(options.soundDir, error);
    const auto existing = existingSet(options.soundDir, report.setName);
    if (existing && !options.force)
        return core::fail(core::translated("The sample set \"%s\" exists already.",
                                           {utf8Of(existing->filename())}),
                          std::string(kSetExists));
    removeStaleStaging(options.soundDir);
    auto built = TemporaryFolder::create(options.soundDir, kBuildPrefix);
    if (!built)
        return core::fail(built.error().message, built.error().detail);

    KitIni ini;
    ini.name = forWindows1252(kit->name);
    ini.format = kit->format == KitSource::Format::Sfz ? "SFZ" : "Hydrogen";
    SetWriter writer(*kit, built->path(), report);
    std::vector<bool> used(kit->instruments.size(), false);
    auto write = [&](std::string_view code, int index) {
        ImportedFile file;
        file.code = std::string(code);
        if (index != kNoInstrument) {
            if (auto entry = writer.instrument(code, index)) {
                file.instrument = kit->instruments[static_cast<std::size_t>(index)].name;
                file.layers = static_cast<int>(entry->layers.size());
                used[static_cast<std::size_t>(index)] = true;
                // A drum of one layer and no choke group needs no entry: its file plays as it
                // always did.
                if (entry->layers.size() > 1 || entry->layers.front().gain != 1.0 ||
                    entry->chokeGroup != 0 || entry->chokedBy != 0)
                    ini.entries.push_back(std::move(*entry));
                report.files.push_back(std::move(file));
                return;
            }
        }
        if (code.size() == 2 && code[0] == 'T' && code[1] > '3') {
            return;  // an extra tom that could not be read is simply not there
        }
        const auto fromDefault = options.soundDir / "Default" / (std::string(code) + ".wav");
        std::error_code copyError;
        file.missing = !std::filesystem::is_regular_file(fromDefault, copyError) ||
                       !std::filesystem::copy_file(
                           fromDefault, built->path() / (std::string(code) + ".wav"), copyError);
        report.files.push_back(std::move(file));
    };
    // Converting samples is what takes long, so a cancel is heeded between two files; the
    // staging folder goes with `built`, and an existing set stays as it was.
    const auto cancelled = [&] { return options.cancel != nullptr && options.cancel->load(); };
    const auto cancelledError = [] {
        return core::fail(core::translated("The import was cancelled."),
                          std::string(kImportCancelled));
    };
    for (std::size_t i = 0; i < kSetFiles.size(); ++i) {
        if (cancelled())
            return cancelledError();
        write(kSetFiles[i], mapping->files[i]);
    }
    for (std::size_t i = 0; i < mapping->extraToms.size(); ++i) {
        if (cancelled())
            return cancelledError();
        write(kExtraTomFiles[i], mapping->extraToms[i]);
    }
    for (std::size_t i = 0; i < kit->instruments.size(); ++i) {
        if (!used[i])
            report.unused.push_back(kit->instruments[i].name);
    }

    auto bytes = kitIniBytes(ini);
    if (!bytes)
        return core::fail(bytes.error().message, bytes.error().detail);
    if (auto saved = core::replaceFile(built->path() / std::string(kKitIniName), *bytes); !saved)
        return core::fail(saved.error().message, saved.error().detail);
    if (auto placed = placeSet(*built, report.setDir, existing, options.soundDir); !placed)
        return core::fail(placed.error().message, placed.error().detail);
    built->keep();
    return report;
}

std::vector<std::string> describeMapping(const ImportReport& report)
{
    std::vector<std::string> lines;
    for (const ImportedFile& file : report.files) {
        std::string line = file.code;
        line.resize(std::max<std::size_t>(line.size() + 1, 5), ' ');
        if (!file.instrument.empty()) {
            line += file.instrument;
            if (file.layers > 1)
                line += " (" + std::to_string(file.layers) + " layers)";
        } else if (file.missing) {
            line += "- (silent: neither the kit nor the Default set has it)";
        } else {
            line += "Default set (the kit has none)";
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace taktwerk::kits
