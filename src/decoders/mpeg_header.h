// Whether bytes start with an MPEG audio frame header. A leaf of its own:
// the content sniffing, the MP3 reader and the LAME tag reader all ask it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillet {

// Whether `data` starts with an MPEG audio frame header: the 11-bit sync, a
// version and layer that exist, a bit rate index that is not "bad" and a
// sample rate that exists. ADTS (AAC) shares the sync but has layer 0: `adts`
// tells it apart.
bool MpegHeader(const uint8_t* data, size_t size, bool& adts);

}  // namespace quillet
