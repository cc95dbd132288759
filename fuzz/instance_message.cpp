// The socket message reader on arbitrary bytes: never reads past them,
// whatever it accepts encodes back to the bytes it was read from, and the
// same bytes fed in pieces (split where the first byte says) read the same.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "instance_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    bool bad = false;
    const std::optional<quillet::TInstanceMessage> message =
        quillet::DecodeInstanceMessage(bytes, bad);
    if (message) {
        if (bad) std::abort();
        const std::string again = quillet::EncodeInstanceMessage(*message);
        // The flag byte reads any non-zero value as set; the rest is exact.
        if (again.size() > size || again.substr(5) != bytes.substr(5, again.size() - 5))
            std::abort();
    }
    // Pieces of 1..16 bytes, their sizes taken from the bytes themselves.
    using S = quillet::TInstanceMessageReader::TState;
    quillet::TInstanceMessageReader reader;
    S state = S::NeedMore;
    for (size_t at = 0; at < size && state == S::NeedMore;) {
        const size_t n = std::min<size_t>(size - at, 1 + data[at] % 16);
        state = reader.Feed(bytes.substr(at, n));
        at += n;
    }
    if ((state == S::Done) != message.has_value() || (state == S::Bad) != bad) std::abort();
    if (message && reader.Take() != *message) std::abort();
    return 0;
}
