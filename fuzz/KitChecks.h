#pragma once
// What every kit reader must hand on, whatever its input: sample paths that stay inside the
// kit's folder, velocity ranges the importer and the voices can use, bounded gains and counts.

#include "FuzzCheck.h"
#include "kits/HydrogenKit.h"
#include "kits/KitSource.h"

#include <cmath>

namespace taktwerk::fuzz {

inline void checkKit(const kits::KitSource& kit)
{
    FUZZ_CHECK(!kit.instruments.empty());
    FUZZ_CHECK(kit.instruments.size() <= kits::kMaxInstruments);
    for (const kits::KitInstrument& instrument : kit.instruments) {
        FUZZ_CHECK(!instrument.layers.empty() && instrument.layers.size() <= kits::kMaxLayers);
        FUZZ_CHECK(instrument.midiNote >= -1 && instrument.midiNote <= 127);
        FUZZ_CHECK(instrument.chokeGroup >= 0 && instrument.chokeGroup <= kits::kMaxChokeGroup);
        FUZZ_CHECK(instrument.chokedBy >= 0 && instrument.chokedBy <= kits::kMaxChokeGroup);
        for (const kits::KitLayer& layer : instrument.layers) {
            FUZZ_CHECK(!layer.file.empty() && layer.file.is_relative());
            for (const auto& part : layer.file)
                FUZZ_CHECK(part != ".." && part != "." && part != "/");
            FUZZ_CHECK(layer.lowVelocity >= 0 && layer.lowVelocity <= layer.highVelocity &&
                       layer.highVelocity <= kits::kMaxVelocity);
            FUZZ_CHECK(std::isfinite(layer.gain) && layer.gain >= 0.0 && layer.gain <= 16.0);
        }
        // Every velocity finds a layer.
        FUZZ_CHECK(kits::pickLayer(instrument.layers, 1) >= 0);
    }
}

}  // namespace taktwerk::fuzz
