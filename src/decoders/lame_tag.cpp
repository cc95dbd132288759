#include "lame_tag.h"

#include <cstring>

#include "ACS_Procs.h"
#include "mpeg_header.h"

namespace quillet {
namespace {

bool Is(const uint8_t* p, const char* id) {
    return std::memcmp(p, id, 4) == 0;
}

}  // namespace

std::optional<TLameTag> ReadLameTag(const uint8_t* d, size_t n) {
    for (size_t at = 0; at + 4 <= n; ++at) {
        bool adts = false;
        const int layer = (d[at + 1] >> 1) & 3;  // 1: layer III
        if (!MpegHeader(d + at, n - at, adts) || adts || layer != 1) continue;
        const int version = (d[at + 1] >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
        // The header sits after the side information, whose size depends
        // on the version and on mono.
        const bool mono = (d[at + 3] >> 6) == 3;
        size_t p = at + 4 + (version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17));
        if (n < p || n - p < 12 || !(Is(d + p, "Xing") || Is(d + p, "Info"))) return std::nullopt;
        const uint32_t flags = GetBE32(d + p + 4);
        if (!(flags & 1)) return std::nullopt;  // no frame count: nothing exact to correct
        TLameTag tag;
        tag.Frames = GetBE32(d + p + 8);
        p += 12 + ((flags & 2) ? 4 : 0) + ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
        // Encoder string (9 bytes), revision, low-pass, peak (4), two
        // gains (2 each), flags, bit rate, then 12 bits each of delay and
        // padding.
        if (n < p || n - p < 24) return std::nullopt;
        if (!(Is(d + p, "LAME") || Is(d + p, "Lavf") || Is(d + p, "Lavc"))) return std::nullopt;
        const uint32_t v = uint32_t{d[p + 21]} << 16 | uint32_t{d[p + 22]} << 8 | d[p + 23];
        tag.Delay = static_cast<int>(v >> 12);
        tag.Padding = static_cast<int>(v & 0xFFF);
        return tag;
    }
    return std::nullopt;
}

}  // namespace quillet
