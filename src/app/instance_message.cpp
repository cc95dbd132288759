#include "instance_message.h"

#include <algorithm>
#include <cstdint>

namespace quillet {
namespace {

constexpr std::string_view kMark = "QLT1";

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

bool GetU32(std::string_view bytes, size_t& at, uint32_t& v) {
    if (bytes.size() - at < 4) return false;
    v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
    at += 4;
    return true;
}

}  // namespace

std::string EncodeInstanceMessage(const TInstanceMessage& message) {
    std::string out(kMark);
    out += static_cast<char>(message.Enqueue ? 1 : 0);
    PutU32(out, static_cast<uint32_t>(message.Paths.size()));
    for (const std::string& path : message.Paths) {
        PutU32(out, static_cast<uint32_t>(path.size()));
        out += path;
    }
    return out;
}

std::optional<TInstanceMessage> DecodeInstanceMessage(std::string_view bytes, bool& bad) {
    bad = false;
    const size_t markLen = std::min(bytes.size(), kMark.size());
    if (bytes.substr(0, markLen) != kMark.substr(0, markLen)) {
        bad = true;
        return std::nullopt;
    }
    size_t at = kMark.size();
    if (bytes.size() < at + 1) return std::nullopt;
    TInstanceMessage message;
    message.Enqueue = bytes[at++] != 0;
    uint32_t count = 0;
    if (!GetU32(bytes, at, count)) return std::nullopt;
    // Each path takes at least its four length bytes: a count that cannot
    // fit is refused before anything is reserved for it.
    if (count > (kMaxInstanceMessage - at) / 4) {
        bad = true;
        return std::nullopt;
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t length = 0;
        if (!GetU32(bytes, at, length)) return std::nullopt;
        if (length > kMaxInstanceMessage - at) {
            bad = true;
            return std::nullopt;
        }
        if (bytes.size() - at < length) return std::nullopt;
        message.Paths.emplace_back(bytes.substr(at, length));
        at += length;
    }
    return message;
}

}  // namespace quillet
