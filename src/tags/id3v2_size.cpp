#include "id3v2_size.h"

#include <cstring>

namespace quillet {

int64_t Id3v2Size(const uint8_t* d, size_t n) {
    if (n < 10 || std::memcmp(d, "ID3", 3) != 0 || d[3] == 0xFF || d[4] == 0xFF) return 0;
    int64_t size = 0;
    for (int i = 6; i < 10; ++i) {
        if (d[i] & 0x80) return 0;
        size = size << 7 | d[i];
    }
    return size + 10 + ((d[5] & 0x10) ? 10 : 0);
}

}  // namespace quillet
