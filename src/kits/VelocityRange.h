#pragma once
// Which velocity layer a hit plays. Shared by the importer (the loudest layer becomes the
// sample set's plain file) and by the voices on the audio thread, so both pick alike.
// Pure, allocation-free; any thread.

#include <cstddef>

namespace taktwerk::kits {

inline constexpr int kMaxVelocity = 127;

// The layer of `layers` (each with `lowVelocity` and `highVelocity`, inclusive) that a hit of
// `velocity` plays: the first whose range holds it. Ranges may overlap (the first wins) and
// may leave gaps; a velocity in a gap plays the layer whose range lies nearest, so a badly
// made kit still sounds. -1 only for no layers.
template <typename Layers>
int pickLayer(const Layers& layers, int velocity) noexcept
{
    int nearest = -1;
    int nearestDistance = 0;
    int at = 0;
    for (const auto& layer : layers) {
        if (velocity >= layer.lowVelocity && velocity <= layer.highVelocity)
            return at;
        const int distance = velocity < layer.lowVelocity ? layer.lowVelocity - velocity
                                                          : velocity - layer.highVelocity;
        if (nearest < 0 || distance < nearestDistance) {
            nearest = at;
            nearestDistance = distance;
        }
        ++at;
    }
    return nearest;
}

}  // namespace taktwerk::kits
