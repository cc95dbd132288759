#include "mpeg_header.h"

namespace quillet {

bool MpegHeader(const uint8_t* d, size_t n, bool& adts) {
    if (n < 4 || d[0] != 0xFF || (d[1] & 0xE0) != 0xE0) return false;
    adts = (d[1] & 0xF6) == 0xF0;
    if (adts) return ((d[2] >> 2) & 0x0F) < 13;  // a sampling frequency index that exists
    const int version = (d[1] >> 3) & 3, layer = (d[1] >> 1) & 3;
    const int bitrate = d[2] >> 4, rate = (d[2] >> 2) & 3;
    return version != 1 && layer != 0 && bitrate != 15 && rate != 3;
}

}  // namespace quillet
