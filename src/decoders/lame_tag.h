// The LAME tag in an MP3's first frame (the Xing/Info header's extension):
// the encoder delay and end padding it declares. FFmpeg trims both from what
// it decodes, but its stream length still counts the end padding past the
// 529 samples of decoder delay it accounts for; the MP3 input subtracts the
// rest so that its exact length is the length it delivers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace quillet {

struct TLameTag {
    uint32_t Frames = 0;  // MPEG frames of audio, from the Xing/Info header
    int Delay = 0;        // encoder delay, in samples
    int Padding = 0;      // end padding, in samples
};

// The tag of the first layer III frame in `data` (the file from the end of
// any ID3v2 tag on), read as FFmpeg reads it: a Xing/Info header with a frame
// count, then an encoder string starting "LAME", "Lavf" or "Lavc". Nothing
// when the first frame has none.
std::optional<TLameTag> ReadLameTag(const uint8_t* data, size_t size);

}  // namespace quillet
