// Cuts a run's PCM blocks into whole units (samples or frames): decoders
// hand out blocks of any size, while a gain or a meter must see each sample
// whole. No Qt, no format knowledge.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quillet {

// A unit split between two blocks waits for its rest.
class TWholeUnits {
  public:
    explicit TWholeUnits(size_t unit) : FUnit(unit) {}
    // The whole units ready, valid until the next call: the block itself when
    // nothing waits and it holds whole units.
    std::span<const uint8_t> Take(const uint8_t* data, size_t size);
    // A partial unit left over once the run has ended.
    std::span<const uint8_t> Rest() const;

  private:
    size_t FUnit;
    std::vector<uint8_t> FPending;
    size_t FTaken = 0;  // FPending's bytes already handed out
};

}  // namespace quillet
