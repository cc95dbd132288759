// What a later start sends the running player over the single-instance
// socket, and how it is read back. No Qt, so the reader can be fuzzed.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// What one start asks of the running player. Paths are absolute, as bytes.
struct TInstanceMessage {
    bool Enqueue = false;
    std::vector<std::string> Paths;
    bool operator==(const TInstanceMessage&) const = default;
};

// The bytes sent over the socket: "QLT1", a flag byte, a 32-bit path count,
// then each path as a 32-bit length and its bytes (little-endian).
std::string EncodeInstanceMessage(const TInstanceMessage& message);
// Reads one whole message from the front of `bytes`. nullopt while more
// bytes are needed; `bad` is set when the bytes can never make a message
// (wrong mark, a length past kMaxInstanceMessage).
std::optional<TInstanceMessage> DecodeInstanceMessage(std::string_view bytes, bool& bad);
inline constexpr size_t kMaxInstanceMessage = 16u << 20;

}  // namespace quillet
