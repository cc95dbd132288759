// A stream over borrowed bytes that misbehaves the way real sources do: a size
// that is wrong or unknown, reads that deliver one byte at a time, a read that
// fails (returns 0) part-way through, once or for good, no seeking at all, and
// seeks that land past the end. The faults are chosen by two control bytes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#include "ACS_Streams.h"

namespace quillet::test {

class LyingStream : public TStream {
  public:
    // `faults`: bit 0-1 size lie (none, doubled, halved, unknown), bit 2 one-byte
    // reads, bit 3 a failing read, bit 4 the failure is permanent, bit 5 no
    // seeking, bit 6 absurdly large size. `where` places the failure at
    // where/256 of the data.
    LyingStream(const uint8_t* data, size_t size, uint8_t faults, uint8_t where)
        : FData(data),
          FSize(static_cast<int64_t>(size)),
          FFaults(faults),
          FFailAt(static_cast<int64_t>(size) * where / 256) {}

    int64_t Read(void* buffer, int64_t count) override {
        if (count <= 0 || FPos >= FSize) return 0;
        if (FFaults & 8) {
            if (FFailed && (FFaults & 16)) return 0;
            if (!FFailed && FPos + count > FFailAt) {
                FFailed = true;
                return 0;
            }
        }
        if (FFaults & 4) count = 1;
        const int64_t n = std::min(count, FSize - FPos);
        std::memcpy(buffer, FData + FPos, static_cast<size_t>(n));
        FPos += n;
        return n;
    }

    int64_t Write(const void*, int64_t) override { return 0; }

    int64_t Seek(int64_t offset, TSeekOrigin origin) override {
        const bool query = origin == TSeekOrigin::soCurrent && offset == 0;
        if ((FFaults & 32) && !query) return -1;
        const int64_t base = origin == TSeekOrigin::soBeginning ? 0
                             : origin == TSeekOrigin::soCurrent ? FPos
                                                                : Size();
        if (base < 0 || offset < -base || offset > std::numeric_limits<int64_t>::max() - base)
            return -1;
        FPos = base + offset;  // past the end is allowed: reads there give 0
        return FPos;
    }

    int64_t Size() override {
        if (FFaults & 64) return std::numeric_limits<int64_t>::max() - 7;
        switch (FFaults & 3) {
            case 1:
                return FSize * 2 + 1;
            case 2:
                return FSize / 2;
            case 3:
                return -1;
            default:
                return FSize;
        }
    }

  private:
    const uint8_t* FData;
    int64_t FSize;
    int64_t FPos = 0;
    uint8_t FFaults;
    int64_t FFailAt;
    bool FFailed = false;
};

}  // namespace quillet::test
