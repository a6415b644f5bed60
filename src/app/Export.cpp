#include "app/Export.h"

#include "core/AtomicFile.h"
#include "core/Language.h"
#include "core/Paths.h"
#include "pattern/Meter.h"
#include "playback/OutputTarget.h"
#include "sound/MakeKit.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace taktwerk::app {

std::optional<ExportFormat> exportFormatFor(const std::filesystem::path& file)
{
    std::string extension = core::utf8FromPath(file.extension());
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".wav")
        return ExportFormat::Wav;
    if (extension == ".flac")
        return ExportFormat::Flac;
    if (extension == ".ogg")
        return ExportFormat::Ogg;
    if (extension == ".mid" || extension == ".midi")
        return ExportFormat::Midi;
    return std::nullopt;
}

std::vector<sound::VoiceId> playedVoices(const rhythms::Rhythm& rhythm, bool intro)
{
    std::vector<sound::VoiceId> voices;
    const int loopSteps = pattern::playbackLoopLength(rhythm.Interval, rhythm.Beats, false);
    for (int track = 0; track < pattern::kTrackCount; ++track) {
        if (rhythm.mutes.isMuted(track))
            continue;
        for (int step = 0; step < loopSteps; ++step) {
            if (rhythm.pattern.StepIsOn(track, step)) {
                voices.push_back(static_cast<sound::VoiceId>(track));
                break;
            }
        }
    }
    if (intro)
        voices.push_back(sound::VoiceId::ST);
    return voices;
}

playback::RenderJob renderJobFor(const rhythms::Rhythm& rhythm,
                                 const std::filesystem::path& soundDir)
{
    playback::RenderJob job;
    job.rows = rhythm.pattern.rows();
    job.velocities = rhythm.pattern.velocities();
    job.swing = rhythm.swing;
    job.mutes = rhythm.mutes.bits();
    job.tempoBpm = rhythm.Bpm;
    job.interval = rhythm.Interval;
    job.beats = rhythm.Beats;
    job.sound.soundDir = soundDir;
    job.sound.soundSet = rhythm.SoundSet;
    job.sound.snareChoice = rhythm.SnareChoice;
    job.sound.rideChoice = rhythm.RideChoice;
    job.sound.tomSounds = {rhythm.Tom1Sound, rhythm.Tom2Sound, rhythm.Tom3Sound};
    return job;
}

sound::MidiFileJob midiJobFor(const rhythms::Rhythm& rhythm)
{
    sound::MidiFileJob job;
    job.name = rhythm.name;
    job.rows = rhythm.pattern.rows();
    job.velocities = rhythm.pattern.velocities();
    job.swing = rhythm.swing;
    job.mutes = rhythm.mutes.bits();
    job.tempoBpm = rhythm.Bpm;
    job.interval = rhythm.Interval;
    job.beats = rhythm.Beats;
    return job;
}

core::Result<void> writeExport(const rhythms::Rhythm& rhythm, const std::filesystem::path& soundDir,
                               const ExportChoice& choice, const std::filesystem::path& file,
                               const std::filesystem::path& rhythmFile,
                               const playback::RenderProgress& progress,
                               const std::atomic<bool>* cancel)
{
    const auto format = exportFormatFor(file);
    if (!format)
        return core::fail(core::translated("\"%s\": the name must end in .wav, .flac, .ogg or .mid",
                                           {core::utf8FromPath(file)}));
    const bool midi = *format == ExportFormat::Midi;
    if (auto target = playback::checkOutput(
            file, rhythmFile, midi ? playback::OutputKind::Midi : playback::OutputKind::Audio,
            playback::ForeignFile::Refuse);
        !target)
        return target;
    if (midi) {
        sound::MidiFileJob job = midiJobFor(rhythm);
        job.loops = std::clamp(choice.loops, 1, kMaxMidiLoops);
        return core::replaceFile(file, sound::midiFileBytes(job));
    }
    playback::RenderJob job = renderJobFor(rhythm, soundDir);
    job.loops = std::clamp(choice.loops, 1, kMaxAudioLoops);
    job.intro = choice.intro;
    job.tail = choice.tail;
    job.fileType = *format == ExportFormat::Flac  ? playback::AudioFileType::Flac
                   : *format == ExportFormat::Ogg ? playback::AudioFileType::Ogg
                                                  : playback::AudioFileType::Wav;
    job.cancel = cancel;
    // As `render` does: the default set is made from the system's SoundFont when it is
    // missing. A failure leaves its voices silent, which the file then shows.
    if (job.sound.soundSet == "Default")
        (void)sound::ensureDefaultKit(soundDir);
    // A render whose every drum is silent would be reported as written while it holds nothing
    // to hear: refused, as `render` refuses it.
    auto voices = sound::buildVoiceSet(job.sound, static_cast<double>(job.sampleRate));
    const auto played = playedVoices(rhythm, job.intro);
    const bool anySounds = std::any_of(played.begin(), played.end(), [&](sound::VoiceId voice) {
        return voices->samples[static_cast<std::size_t>(sound::index(voice))] != nullptr;
    });
    if (!played.empty() && !anySounds)
        return core::fail(core::translated("No sample of the rhythm's drums could be loaded from "
                                           "the sample set \"%s\"; nothing was written.",
                                           {job.sound.soundSet}));
    job.voices = std::move(voices);
    auto report = playback::renderWav(job, file, progress);
    if (!report)
        return core::fail(report.error().message, report.error().detail);
    return {};
}

}  // namespace taktwerk::app
