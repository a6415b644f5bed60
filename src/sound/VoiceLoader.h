#pragma once
// Builds voice sets on a worker thread of its own, so loading and converting samples (up to a
// second a file for odd ones) never blocks the window or Ctrl-C: playback goes on with the old
// set until the new one is ready, and the owner swaps it into the engine (Engine::setVoices).
// The built-in synth is built here too, the first time MIDI mode needs it: first the synth,
// which plays every note live (Engine::setSynth), then its notes rendered ahead, which take
// longer and start each at its exact frame (Engine::setSynthNotes).
// Owned by one thread, the owner (the GUI thread, or the command line's main thread); requests
// and results cross to the worker under a mutex that neither the audio thread nor the worker's
// loading ever holds for long.

#include "core/Result.h"
#include "sound/Engine.h"
#include "sound/VoiceSet.h"
#include "sound/Wakeup.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace taktwerk::sound {

class VoiceLoader {
public:
    // `ready`, when given, is notified each time a set is ready to be taken, so that its owner
    // need not look again and again.
    explicit VoiceLoader(double outputRate, const Wakeup* ready = nullptr);
    // Stops the worker; a build under way ends after the sample it is loading.
    ~VoiceLoader();
    VoiceLoader(const VoiceLoader&) = delete;
    VoiceLoader& operator=(const VoiceLoader&) = delete;

    // SetSound: all ten voices from `choice`. Voice requests still waiting are dropped: this
    // one replaces everything they would have built. Unchanged samples are shared, not reloaded.
    void requestSet(const SoundChoice& choice);
    // SetSingleSound: tom `inSound` (7, 8, 9) from `choice`, on top of the set requested last.
    void requestTom(int inSound, const SoundChoice& choice);
    // The built-in synth from `soundFont`, with the notes `clickNote` and `values` ask for.
    void requestSynth(const std::filesystem::path& soundFont, int clickNote,
                      const MidiValues& values);

    // The set of the newest request finished since the last call; null while none is.
    std::unique_ptr<VoiceSet> takeReady();
    // The synth built since the last call, or why it could not be; nothing while none is.
    std::optional<core::Result<std::unique_ptr<GmSynth>>> takeReadySynth();
    // Its notes rendered ahead, once they are (after the synth); null while they are not.
    std::unique_ptr<NoteBank> takeReadySynthNotes();
    // Waits until every request is built (true), or until `stop` says so (false), asking it
    // every `poll`.
    bool waitUntilBuilt(const std::function<bool()>& stop,
                        std::chrono::milliseconds poll = std::chrono::milliseconds(10));

private:
    struct Request {
        enum class Kind : std::uint8_t { Set, Tom, Synth };
        Kind kind = Kind::Set;
        int inSound = 0;
        SoundChoice choice{};
        std::filesystem::path soundFont{};
        int clickNote = 0;
        MidiValues values{};
    };

    void work();

    const double outputRate_;
    const Wakeup* readyNews_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Request> requests_;                                      // under mutex_
    std::unique_ptr<VoiceSet> ready_;                                   // under mutex_
    std::optional<core::Result<std::unique_ptr<GmSynth>>> readySynth_;  // under mutex_
    std::unique_ptr<NoteBank> readySynthNotes_;                         // under mutex_
    bool building_ = false;                                             // under mutex_
    std::atomic<bool> stopping_{false};
    VoiceSet latest_;  // worker only: the set the next request builds on
    std::thread worker_;
};

}  // namespace taktwerk::sound
