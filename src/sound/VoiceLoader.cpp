#include "sound/VoiceLoader.h"

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
        requests_.clear();
        requests_.push_back({.wholeSet = true, .choice = choice});
    }
    wake_.notify_all();
}

void VoiceLoader::requestTom(int inSound, const SoundChoice& choice)
{
    {
        const std::lock_guard lock(mutex_);
        requests_.push_back({.wholeSet = false, .inSound = inSound, .choice = choice});
    }
    wake_.notify_all();
}

std::unique_ptr<VoiceSet> VoiceLoader::takeReady()
{
    const std::lock_guard lock(mutex_);
    return std::move(ready_);
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
        std::unique_ptr<VoiceSet> built =
            request.wholeSet ? buildVoiceSet(request.choice, outputRate_, &latest_, &stopping_)
                             : rebuildTom(latest_, request.inSound, request.choice, outputRate_);
        if (stopping_)
            return;  // a build cut short is thrown away
        latest_ = *built;

        lock.lock();
        building_ = false;
        // A newer result makes an older one not yet taken pointless: each builds on the last.
        ready_ = std::move(built);
        wake_.notify_all();
        if (readyNews_ != nullptr)
            readyNews_->notify();
    }
}

}  // namespace taktwerk::sound
