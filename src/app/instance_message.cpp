#include "instance_message.h"

#include <algorithm>

namespace quillet {
namespace {

constexpr std::string_view kMark = "QLT1";

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
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

bool TInstanceMessageReader::Field(std::string_view& bytes) {
    while (FFieldHave < 4 && !bytes.empty()) {
        FField[FFieldHave++] = static_cast<uint8_t>(bytes.front());
        bytes.remove_prefix(1);
    }
    return FFieldHave == 4;
}

TInstanceMessageReader::TState TInstanceMessageReader::Feed(std::string_view bytes) {
    while (FState == TState::NeedMore) {
        switch (FStage) {
            case TStage::Mark: {
                const size_t n = std::min(bytes.size(), kMark.size() - FSize);
                if (bytes.substr(0, n) != kMark.substr(FSize, n)) return Refuse();
                FSize += n;
                bytes.remove_prefix(n);
                if (FSize < kMark.size()) return FState;
                FStage = TStage::Flag;
                break;
            }
            case TStage::Flag:
                if (bytes.empty()) return FState;
                FMessage.Enqueue = bytes.front() != 0;
                bytes.remove_prefix(1);
                ++FSize;
                FStage = TStage::Count;
                break;
            case TStage::Count:
            case TStage::Length: {
                if (!Field(bytes)) return FState;
                FFieldHave = 0;
                const uint32_t value = FField[0] | FField[1] << 8 | FField[2] << 16 |
                                       static_cast<uint32_t>(FField[3]) << 24;
                if (FStage == TStage::Count) {
                    FSize += 4;
                    // Each path takes at least its four length bytes: a count
                    // that cannot fit is refused before anything is kept.
                    if (value > (kMaxInstanceMessage - FSize) / 4) return Refuse();
                    FSize += size_t{4} * value;  // the length fields, counted now
                    FPathsLeft = value;
                    FMessage.Paths.reserve(std::min<uint32_t>(value, 4096));
                    if (FPathsLeft == 0) return FState = TState::Done;
                    FStage = TStage::Length;
                } else {
                    if (value > kMaxInstanceMessage - FSize) return Refuse();
                    FSize += value;
                    FPathLeft = value;
                    FMessage.Paths.emplace_back().reserve(std::min<uint32_t>(value, 1u << 16));
                    --FPathsLeft;
                    FStage = TStage::Path;
                }
                break;
            }
            case TStage::Path: {
                const size_t n = std::min<size_t>(bytes.size(), FPathLeft);
                FMessage.Paths.back().append(bytes.substr(0, n));
                bytes.remove_prefix(n);
                FPathLeft -= static_cast<uint32_t>(n);
                if (FPathLeft > 0) return FState;
                if (FPathsLeft == 0) return FState = TState::Done;
                FStage = TStage::Length;
                break;
            }
        }
    }
    return FState;
}

std::optional<TInstanceMessage> DecodeInstanceMessage(std::string_view bytes, bool& bad) {
    TInstanceMessageReader reader;
    const TInstanceMessageReader::TState state = reader.Feed(bytes);
    bad = state == TInstanceMessageReader::TState::Bad;
    if (state != TInstanceMessageReader::TState::Done) return std::nullopt;
    return reader.Take();
}

}  // namespace quillet
