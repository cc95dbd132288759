#include "whole_units.h"

namespace quillet {

std::span<const uint8_t> TWholeUnits::Take(const uint8_t* data, size_t size) {
    FPending.erase(FPending.begin(), FPending.begin() + static_cast<ptrdiff_t>(FTaken));
    FTaken = 0;
    if (FPending.empty() && size % FUnit == 0) return {data, size};
    FPending.insert(FPending.end(), data, data + size);
    FTaken = FPending.size() / FUnit * FUnit;
    return {FPending.data(), FTaken};
}

std::span<const uint8_t> TWholeUnits::Rest() const {
    return {FPending.data() + FTaken, FPending.size() - FTaken};
}

}  // namespace quillet
