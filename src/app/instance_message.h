// What a later start sends the running player over the single-instance
// socket, and how it is read back. No Qt, so the reader can be fuzzed.
#pragma once

#include <cstddef>
#include <cstdint>
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
inline constexpr size_t kMaxInstanceMessage = 16u << 20;

// Reads one message as its bytes arrive, each byte looked at once however
// the bytes are split. A message whose counts or lengths take it past
// kMaxInstanceMessage is refused as soon as they are read.
class TInstanceMessageReader {
  public:
    enum class TState { NeedMore, Done, Bad };
    // Takes the next bytes; those after a whole message are not looked at.
    TState Feed(std::string_view bytes);
    TState State() const { return FState; }
    // The message, once Done.
    TInstanceMessage Take() { return std::move(FMessage); }

  private:
    enum class TStage { Mark, Flag, Count, Length, Path };
    // Collects a 32-bit field from the front of `bytes`; true once whole.
    bool Field(std::string_view& bytes);
    TState Refuse() { return FState = TState::Bad; }

    TState FState = TState::NeedMore;
    TStage FStage = TStage::Mark;
    size_t FSize = 0;  // the message's bytes so far and declared (counted against the limit)
    uint8_t FField[4]{};
    size_t FFieldHave = 0;
    uint32_t FPathsLeft = 0;
    uint32_t FPathLeft = 0;  // bytes of the current path still to come
    TInstanceMessage FMessage;
};

// Reads one whole message from the front of `bytes`. nullopt while more
// bytes are needed; `bad` is set when the bytes can never make a message
// (wrong mark, a length past kMaxInstanceMessage).
std::optional<TInstanceMessage> DecodeInstanceMessage(std::string_view bytes, bool& bad);

}  // namespace quillet
