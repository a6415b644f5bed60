#include "sound/NoteBank.h"

#include "sound/GmSynth.h"
#include "sound/Pads.h"

#include <algorithm>
#include <cmath>

namespace taktwerk::sound {
namespace {

// The click notes the sound settings offer: sticks, side stick, maracas, mute triangle, cowbell.
constexpr std::array<int, 5> kClickChoices{31, 37, 70, 80, 56};

// A note ends where it falls below -90 dBFS (a 16-bit converter's last bit and then some).
constexpr float kQuiet = 3.1623e-5f;
// ... and stays there this long: a reverb tail dips and swells again within a few milliseconds.
constexpr double kQuietSeconds = 0.020;
// The longest note the program plays, a crash cymbal with its reverb, stays above the quiet
// level for up to about 7.8 s.
constexpr double kMaxNoteSeconds = 8.0;
// A note cut at the cap fades over its last frames instead of stopping on a click.
constexpr double kCapFadeSeconds = 0.050;

bool loud(const float* frame) noexcept
{
    return std::abs(frame[0]) >= kQuiet || std::abs(frame[1]) >= kQuiet;
}

struct Renderer {
    GmSynth& synth;
    std::uint32_t block;
    std::size_t gateFrames;
    std::size_t maxFrames;
    std::size_t quietFrames;
    std::size_t fadeFrames;
    std::vector<float> data;

    // Renders blocks until the output has been quiet for quietFrames (the note's note-off sent
    // at the gate, if any); returns one past the last loud frame.
    std::size_t renderUntilQuiet(const MidiMessage* off, std::size_t limit)
    {
        data.clear();
        std::size_t end = 0;
        bool released = off == nullptr;
        while (data.size() / 2 < limit) {
            const std::size_t at = data.size() / 2;
            if (!released && at >= gateFrames) {
                synth.send(*off);
                released = true;
            }
            data.resize(data.size() + static_cast<std::size_t>(block) * 2);
            synth.render(data.data() + at * 2, block);
            for (std::size_t frame = at; frame < at + block; ++frame) {
                if (loud(&data[frame * 2]))
                    end = frame + 1;
            }
            if (released && data.size() / 2 - end >= quietFrames)
                break;
        }
        return end;
    }

    std::shared_ptr<const Sample> note(const MidiMessage& on, const MidiMessage& off)
    {
        // The synth stands at one of its block boundaries (it is only ever rendered in whole
        // blocks), so the note starts on the sample's first frame.
        synth.send(on);
        const std::size_t end = std::min(renderUntilQuiet(&off, maxFrames), maxFrames);
        const bool capped = data.size() / 2 - end < quietFrames;
        // Whatever still sounds (a capped note, the reverb's last whisper) must not leak into
        // the next note.
        synth.silence();
        std::vector<float> rendered;
        rendered.swap(data);
        renderUntilQuiet(nullptr, maxFrames);
        if (end == 0)
            return nullptr;  // the font has no sound for this key
        auto sample = std::make_shared<Sample>();
        sample->data.assign(rendered.begin(),
                            rendered.begin() + static_cast<std::ptrdiff_t>(end * 2));
        if (capped) {
            const std::size_t fade = std::min(end, fadeFrames);
            for (std::size_t i = 0; i < fade; ++i) {
                const float gain = static_cast<float>(i) / static_cast<float>(fade);
                sample->data[(end - 1 - i) * 2] *= gain;
                sample->data[(end - 1 - i) * 2 + 1] *= gain;
            }
        }
        return sample;
    }
};

}  // namespace

NoteBank::Hit NoteBank::find(const MidiMessage& noteOn) const noexcept  // audio thread
{
    if (noteOn.size < 3 || noteOn.bytes[0] != status || noteOn.bytes[2] == 0)
        return {};
    const std::size_t key = noteOn.bytes[1] & 0x7Fu;
    const int velocity = noteOn.bytes[2] & 0x7F;
    // The quietest layer still at or above the velocity: scaling only ever turns a note down.
    for (int layer = kNoteLayerCount - 1; layer >= 0; --layer) {
        const auto at = static_cast<std::size_t>(layer);
        const Sample* sample = layers[at][key].get();
        if (sample == nullptr || kNoteLayerVelocities[at] < velocity)
            continue;
        const float share =
            static_cast<float>(velocity) / static_cast<float>(kNoteLayerVelocities[at]);
        return {sample, share * share};
    }
    return {};
}

bool NoteBank::holds(int key, const Sample* sample) const noexcept  // audio thread
{
    if (key < 0 || key >= kMidiKeyCount || sample == nullptr)
        return false;
    return std::any_of(layers.begin(), layers.end(), [&](const Layer& layer) {
        return layer[static_cast<std::size_t>(key)].get() == sample;
    });
}

bool NoteBank::covers(std::span<const int> wanted, const MidiValues& values) const noexcept
{
    // Any velocity finds a layer once the top one is there.
    MidiValues loudest = values;
    loudest.velocity = kNoteLayerVelocities[0];
    return std::all_of(wanted.begin(), wanted.end(), [&](int note) {
        const MidiMessage on = MidiNoteOn(note, loudest);
        return on.size == 0 || find(on).sample != nullptr;
    });
}

std::size_t NoteBank::bytes() const noexcept
{
    std::size_t total = 0;
    for (const Layer& layer : layers) {
        for (const auto& note : layer) {
            if (note)
                total += note->data.size() * sizeof(float);
        }
    }
    return total;
}

std::vector<int> playedNotes(int clickNote)
{
    std::vector<int> notes(kPadNotes.begin(), kPadNotes.end());
    notes.insert(notes.end(), kClickChoices.begin(), kClickChoices.end());
    if (std::find(notes.begin(), notes.end(), clickNote) == notes.end())
        notes.push_back(clickNote);
    return notes;
}

core::Result<std::unique_ptr<NoteBank>> renderNoteBank(const std::filesystem::path& soundFont,
                                                       std::span<const int> notes,
                                                       const NoteBankOptions& options,
                                                       const NoteBank* previous)
{
    auto bank = std::make_unique<NoteBank>();
    bank->status = MidiNoteOn(0, options.values).bytes[0];
    const bool sharing = previous != nullptr && previous->status == bank->status;

    std::unique_ptr<GmSynth> synth;
    for (int note : notes) {
        const bool isPad = std::find(kPadNotes.begin(), kPadNotes.end(), note) != kPadNotes.end();
        const int layerCount = isPad ? kNoteLayerCount : 1;
        for (int layer = 0; layer < layerCount; ++layer) {
            MidiValues values = options.values;
            values.velocity = kNoteLayerVelocities[static_cast<std::size_t>(layer)];
            const MidiMessage on = MidiNoteOn(note, values);
            if (on.size == 0)
                break;
            auto& slot = bank->layers[static_cast<std::size_t>(layer)][on.bytes[1]];
            if (sharing && previous->layers[static_cast<std::size_t>(layer)][on.bytes[1]]) {
                slot = previous->layers[static_cast<std::size_t>(layer)][on.bytes[1]];
                continue;
            }
            if (!synth) {
                // Effects on, as the live synth plays: the reverb tail belongs to the note.
                auto created = GmSynth::create(
                    soundFont, {.sampleRate = options.sampleRate, .effects = options.effects});
                if (!created)
                    return core::fail(created.error().message, created.error().detail);
                synth = std::move(created.value());
            }
            Renderer renderer{
                .synth = *synth,
                .block = synth->blockFrames(),
                .gateFrames = static_cast<std::size_t>(options.gateSeconds * options.sampleRate),
                .maxFrames = static_cast<std::size_t>(kMaxNoteSeconds * options.sampleRate),
                .quietFrames = static_cast<std::size_t>(kQuietSeconds * options.sampleRate),
                .fadeFrames = static_cast<std::size_t>(kCapFadeSeconds * options.sampleRate),
                .data = {}};
            slot = renderer.note(on, midiNoteOff(note, values));
        }
    }
    return bank;
}

int exclusiveClass(int key) noexcept
{
    switch (key) {
    case 42:  // closed hi-hat
    case 44:  // pedal hi-hat
    case 46:  // open hi-hat
        return 1;
    case 73:  // short guiro
    case 74:  // long guiro
        return 2;
    case 78:  // mute cuica
    case 79:  // open cuica
        return 3;
    case 80:  // mute triangle
    case 81:  // open triangle
        return 4;
    default:
        return 0;
    }
}

}  // namespace taktwerk::sound
