#include "ACS_Procs.h"

#include <cstring>

namespace quillet {

void FloatsToInt32(void* data, size_t bytes) {
    auto* p = static_cast<uint8_t*>(data);
    for (size_t i = 0; i + 4 <= bytes; i += 4) {
        uint32_t bits;
        std::memcpy(&bits, p + i, 4);
        const int32_t v = SingleToInt32(bits);
        std::memcpy(p + i, &v, 4);
    }
}

void DoublesToInt32(void* data, size_t bytes) {
    auto* p = static_cast<uint8_t*>(data);
    for (size_t i = 0, o = 0; i + 8 <= bytes; i += 8, o += 4) {
        double d;
        std::memcpy(&d, p + i, 8);
        const int32_t v = FloatToInt32(d);
        std::memcpy(p + o, &v, 4);
    }
}

bool SameGuid(const uint8_t* a, const uint8_t* b) {
    return std::memcmp(a, b, 16) == 0;
}

std::string TextBeforeChar(char ch, std::string_view s) {
    const size_t at = s.find(ch);
    return at == std::string_view::npos ? std::string() : std::string(s.substr(0, at));
}

std::string TextAfterChar(char ch, std::string_view s) {
    const size_t at = s.find(ch);
    return at == std::string_view::npos ? std::string() : std::string(s.substr(at + 1));
}

}  // namespace quillet
