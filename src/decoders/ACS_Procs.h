// Small helpers shared by the decoders: float-to-integer conversion of sample
// buffers, GUID comparison and splitting a text at a character.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillet {

// In-place conversion of 32-bit float samples to 32-bit signed integers, for
// every whole sample in `bytes`: >= 1.0 gives 2147483647, <= -1.0 gives
// -2147483648, 0.0 gives 0, anything else floor(value * 2147483647). NaN
// gives 0. The output has the input's size.
void FloatsToInt32(void* data, size_t bytes);
// The same for 64-bit doubles; the integers are packed at the start of the
// area, so the output is half the input's size.
void DoublesToInt32(void* data, size_t bytes);
// floor() of a value known to fit the result, without a library call (the
// baseline x86-64 has no floor instruction), so that conversion loops stay
// free of calls and branches and can be vectorised.
template <class Int, class Real>
inline Int FloorTo(Real v) {
    const Int t = static_cast<Int>(v);
    return t - static_cast<Int>(static_cast<Real>(t) > v);
}

// The rule above for one value, without branches so that the buffer loops
// vectorise. NaN becomes 0 and the value is clamped to -1..1 first. The
// product v * (2^31 - 1) needs up to 84 bits, so it is formed as
// v * 2^31 - v: both terms are exact, and the rounding error of the
// difference is recovered exactly (two-sum), which decides the floor when
// the rounded difference lands on a whole number.
inline int32_t FloatToInt32(double value) {
    const double v = std::max(std::min(value == value ? value : 0.0, 1.0), -1.0);
    const double a = v * 2147483648.0;
    const double s = a - v;
    const double back = s - a;
    const double error = (a - (s - back)) + (-v - back);
    int32_t t = FloorTo<int32_t>(s);
    t -= static_cast<int32_t>((static_cast<double>(t) == s) & (error < 0));
    return v <= -1.0 ? -2147483647 - 1 : t;
}

// The same rule for a 32-bit float, from its bits, in integers only (about
// twice as fast as the double path): the 24-bit mantissa times 2^31 - 1 fits
// in 55 bits, so the product is exact and the floor is a shift, rounded
// toward minus infinity for negative values.
inline int32_t SingleToInt32(uint32_t bits) {
    const uint32_t exponent = (bits >> 23) & 0xFF, fraction = bits & 0x7FFFFF;
    const bool negative = (bits >> 31) != 0;
    if (exponent == 0xFF && fraction != 0) return 0;  // NaN
    if (exponent >= 127) return negative ? -2147483647 - 1 : 2147483647;
    if (exponent == 0) return negative && fraction != 0 ? -1 : 0;  // zeros and subnormals
    const uint64_t product = uint64_t{fraction | 0x800000} * 2147483647u;
    const uint32_t shift = std::min<uint32_t>(150 - exponent, 55);  // at least 24
    const auto whole = static_cast<int32_t>(product >> shift);
    const bool rest = (product & ((uint64_t{1} << shift) - 1)) != 0;
    return negative ? -whole - static_cast<int32_t>(rest) : whole;
}

// Equality of two 16-byte GUIDs as stored in a file.
bool SameGuid(const uint8_t* a, const uint8_t* b);

// The part of s before / after the first ch; empty when s holds no ch.
std::string TextBeforeChar(char ch, std::string_view s);
std::string TextAfterChar(char ch, std::string_view s);

}  // namespace quillet

namespace quillet {

// Little-endian fields of file headers.
inline uint16_t GetLE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t GetLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t GetLE64(const uint8_t* p) {
    return GetLE32(p) | (static_cast<uint64_t>(GetLE32(p + 4)) << 32);
}
// Big-endian ones (MPEG audio headers).
inline uint32_t GetBE32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline void PutLE16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace quillet
