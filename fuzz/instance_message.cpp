// The socket message reader on arbitrary bytes: never reads past them, and
// whatever it accepts encodes back to the bytes it was read from.
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
    return 0;
}
