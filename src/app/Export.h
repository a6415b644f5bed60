#pragma once
// Export of a rhythm as an audio file (WAV, FLAC, Ogg Vorbis: the offline renderer) or a MIDI
// file, with the choices `taktwerk render` and `taktwerk export-midi` offer. The window and the
// command line build their jobs here, so a file exported from the window holds exactly the
// bytes the command line writes for the same rhythm and options. writeExport runs on a worker
// thread of the window (or the command line's main thread) and touches nothing but its
// arguments and the files it writes.

#include "core/Result.h"
#include "playback/OfflineRender.h"
#include "rhythms/Rhythm.h"
#include "sound/MidiFile.h"

#include <atomic>
#include <filesystem>
#include <optional>
#include <vector>

namespace taktwerk::app {

enum class ExportFormat : std::uint8_t { Wav, Flac, Ogg, Midi };

// The format a file name asks for by its extension (.wav, .flac, .ogg, .mid, .midi, in any
// letter case); nothing for any other name, which no player would open as what it holds.
std::optional<ExportFormat> exportFormatFor(const std::filesystem::path& file);

struct ExportChoice {
    int loops = 4;       // render's and export-midi's default
    bool intro = false;  // the count-in first (audio)
    bool tail = false;   // the last hits ring out (audio)
};
// The loops a choice may ask for, as the command line allows them.
inline constexpr int kMaxAudioLoops = 100000;
inline constexpr int kMaxMidiLoops = 10000;

// The voices `rhythm` plays: every unmuted track with a step in the loop, and the click when
// a count-in is played.
std::vector<sound::VoiceId> playedVoices(const rhythms::Rhythm& rhythm, bool intro);

// The jobs for `rhythm`, its sample set looked for in `soundDir`; the command line sets its
// further options (rate, float samples, seconds) on top.
playback::RenderJob renderJobFor(const rhythms::Rhythm& rhythm,
                                 const std::filesystem::path& soundDir);
sound::MidiFileJob midiJobFor(const rhythms::Rhythm& rhythm);

// Writes `rhythm` to `file` in the format its name asks for. Refuses to replace `rhythmFile`
// (the rhythm's own file) or anything that is not a file of the export's kind; writes under a
// temporary name, so a failure or a cancel leaves neither the file nor a temporary behind.
// `progress` hears the share done; `cancel`, when set, stops an audio render between blocks
// (the error's detail is then playback::kRenderCancelled).
core::Result<void> writeExport(const rhythms::Rhythm& rhythm, const std::filesystem::path& soundDir,
                               const ExportChoice& choice, const std::filesystem::path& file,
                               const std::filesystem::path& rhythmFile,
                               const playback::RenderProgress& progress = {},
                               const std::atomic<bool>* cancel = nullptr);

}  // namespace taktwerk::app
