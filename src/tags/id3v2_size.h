// The size of an ID3v2 tag at the start of some bytes: what to skip to reach
// the sound (or a FLAC stream) behind it. The one copy of that rule; the
// decoders, the content sniffing and the embedded-sheet reader use it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillet {

// The tag's whole size (header and footer included) from its 10-byte header
// at `data`, or 0 when `data` starts with no valid ID3v2 header.
int64_t Id3v2Size(const uint8_t* data, size_t size);

}  // namespace quillet
