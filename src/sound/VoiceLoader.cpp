#include "sound/VoiceLoader.h"

#include <algorithm>
#include <utility>

namespace taktwerk::sound {

VoiceLoader::VoiceLoader(double outputRate, const Wakeup* ready)
    : outputRate_(outputRate), readyNews_(ready), worker_([this] { work(); })
{
}

VoiceLoader::~VoiceLoader()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void VoiceLoader::requestSet(const SoundChoice& choice)
{
    {
        const std::lock_guard lock(mutex_);
        std::erase_if(requests_,
                      [](const Request& waiting) { return waiting.kind != Request::Kind::Synth; });
        requests_.push_back({.kind = Request::Kind::Set, .choice = choice});
    }
    wake_.notify_all();
}

void VoiceLoader::requestTom(int inSound, const SoundChoice& choice)
{
    {
        const std::lock_guard lock(mutex_);
        requests_.push_back({.kind = Request::Kind::Tom, .inSound = inSound, .choice = choice});
    }
    wake_.notify_all();
}

void VoiceLoader::requestSynth(const std::filesystem::path& soundFont, int clickNote,
                               const MidiValues& values)
{
    {
        const std::lock_guard lock(mutex_);
        requests_.push_back({.kind = Request::Kind::Synth,
                             .soundFont = soundFont,
                             .clickNote = clickNote,
                             .values = values});
    }
    wake_.notify_all();
}

std::unique_ptr<VoiceSet> VoiceLoader::takeReady()
{
    const std::lock_guard lock(mutex_);
    return std::move(ready_);
}

std::optional<core::Result<std::unique_ptr<GmSynth>>> VoiceLoader::takeReadySynth()
{
    const std::lock_guard lock(mutex_);
    return std::exchange(readySynth_, std::nullopt);
}

std::unique_ptr<NoteBank> VoiceLoader::takeReadySynthNotes()
{
    const std::lock_guard lock(mutex_);
    return std::move(readySynthNotes_);
}

bool VoiceLoader::waitUntilBuilt(const std::function<bool()>& stop, std::chrono::milliseconds poll)
{
    std::unique_lock lock(mutex_);
    while (building_ || !requests_.empty()) {
        if (stop && stop())
            return false;
        wake_.wait_for(lock, poll);
    }
    return true;
}

void VoiceLoader::work()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !requests_.empty(); });
        if (stopping_)
            return;
        const Request request = std::move(requests_.front());
        requests_.pop_front();
        building_ = true;
        lock.unlock();

        // The files are read without the lock: the owner may ask for more meanwhile.
        if (request.kind == Request::Kind::Synth) {
            // The synth alone is ready in a tenth of the time its notes take: MIDI mode sounds
            // that much sooner, if on the synth's own grid until the notes follow.
            auto synth =
                GmSynth::create(request.soundFont, {.sampleRate = outputRate_, .effects = true});
            const bool created = static_cast<bool>(synth);
            lock.lock();
            readySynth_ = std::move(synth);
            if (readyNews_ != nullptr)
                readyNews_->notify();
            // Shutting down, the notes would only hold it up for most of a second.
            if (created && !stopping_) {
                lock.unlock();
                auto notes = renderSynthNotes(request.soundFont, outputRate_, request.clickNote,
                                              request.values);
                if (stopping_)
                    return;
                lock.lock();
                readySynthNotes_ = std::move(notes);
            }
            building_ = false;
        } else {
            std::unique_ptr<VoiceSet> built =
                request.kind == Request::Kind::Set
                    ? buildVoiceSet(request.choice, outputRate_, &latest_, &stopping_)
                    : rebuildTom(latest_, request.inSound, request.choice, outputRate_);
            if (stopping_)
                return;  // a build cut short is thrown away
            latest_ = *built;
            lock.lock();
            building_ = false;
            // A newer result makes an older one not yet taken pointless: each builds on the last.
            ready_ = std::move(built);
        }
        wake_.notify_all();
        if (readyNews_ != nullptr)
            readyNews_->notify();
    }
}

}  // namespace taktwerk::sound
