// Test doubles for the pipeline: a synthetic file source over generated PCM
// (seekable or not) and a sink that drains blocks into memory at a pace the
// test controls. Header-only so every test folder can use them.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ACS_Classes.h"
#include "main_thread.h"

namespace quillet::test {

// The byte at absolute offset i of every synthetic stream: varied enough that
// a misplaced block or a wrong seek shows.
inline uint8_t PatternByte(int64_t i) {
    return static_cast<uint8_t>((i * 7 + (i >> 9)) & 0xFF);
}

inline std::vector<uint8_t> PatternBytes(int64_t from, int64_t count) {
    std::vector<uint8_t> v(static_cast<size_t>(count));
    for (int64_t k = 0; k < count; ++k) v[static_cast<size_t>(k)] = PatternByte(from + k);
    return v;
}

struct SyntheticFormat {
    uint32_t channels = 2;
    uint32_t bits = 16;
    uint32_t rate = 44100;
    int64_t frames = 10000;
    uint32_t blockBytes = 1000;  // the decoder's block size (need not hold whole frames)
    bool seekable = true;
    bool unknownSize = false;  // FDataSize = -1
    std::string openError;     // non-empty: OpenSource raises this
    // When >= 0, the size the decoder claims instead, marked an estimate.
    int64_t estimatedFrames = -1;
    uint32_t tornBytes = 0;  // bytes of a last frame cut short, as a damaged file ends
};

class SyntheticSource : public TAuFileIn {
  public:
    explicit SyntheticSource(SyntheticFormat f = {}, TComponent* owner = nullptr)
        : TAuFileIn(owner), F(f) {
        SetFileName("synthetic.raw");
    }
    ~SyntheticSource() override { CloseSource(); }

    int64_t TotalBytes() const { return F.frames * FrameBytesOf(F.channels, F.bits) + F.tornBytes; }
    std::atomic<int> Opens{0};
    std::atomic<int> Seeks{0};
    std::atomic<int> Reads{0};
    // Called inside ReadBlock (on the worker) when set; lets a test hold it.
    std::function<void()> OnRead;

  protected:
    void OpenSource() override {
        std::lock_guard<std::recursive_mutex> l(FOpenLock);
        if (FOpenCount != 0) return;
        if (!F.openError.empty()) throw EAuException(F.openError);
        FChannels = F.channels;
        FBitsPerSample = F.bits;
        FSampleRate = F.rate;
        FDataSize = F.unknownSize ? -1 : TotalBytes();
        FSizeIsEstimate = F.estimatedFrames >= 0;
        if (FSizeIsEstimate) FDataSize = F.estimatedFrames * FrameBytesOf(F.channels, F.bits);
        FCanSeek = F.seekable;
        FIsValid = true;
        Pos = 0;
        ++Opens;
        ++FOpenCount;
    }
    void CloseSource() override {
        std::lock_guard<std::recursive_mutex> l(FOpenLock);
        if (FOpenCount <= 0) return;
        FOpenCount = 0;
    }
    void ReadBlock(uint8_t*& Buffer, uint32_t& Bytes) override {
        ++Reads;
        if (OnRead) OnRead();
        const int64_t left = TotalBytes() - Pos;
        const uint32_t n = static_cast<uint32_t>(std::max<int64_t>(
            0, std::min<int64_t>({left, static_cast<int64_t>(Bytes), F.blockBytes})));
        Block = PatternBytes(Pos, n);
        Pos += n;
        Buffer = Block.data();
        Bytes = n;
    }
    bool SeekToSample(int64_t& SampleNum) override {
        ++Seeks;
        Pos = SampleNum * FrameBytesOf(F.channels, F.bits);
        return true;
    }

  public:
    SyntheticFormat F;
    int64_t Pos = 0;  // next absolute byte
    std::vector<uint8_t> Block;
};

// A sink that moves PCM from its input into memory. With `paced`, each output
// step waits for a permit from the test (Step()).
class MemorySink : public TAuOutput {
  public:
    explicit MemorySink(TComponent* owner = nullptr) : TAuOutput(owner) {}
    ~MemorySink() override { ShutdownWorker(); }

    uint32_t ChunkBytes = 4096;
    std::atomic<bool> Paced{false};
    std::string PrepareError;  // non-empty: PrepareOutput raises it after BeginRead

    void Step(int n = 1) {
        std::lock_guard<std::mutex> l(M);
        Permits += n;
        C.notify_all();
    }
    std::vector<uint8_t> Data() {
        std::lock_guard<std::mutex> l(M);
        return Collected;
    }
    void ClearData() {
        std::lock_guard<std::mutex> l(M);
        Collected.clear();
    }
    std::atomic<int> Prepares{0};
    std::atomic<int> Releases{0};
    std::atomic<int> Steps{0};

  protected:
    void PrepareOutput() override {
        ++Prepares;
        Input()->BeginRead();
        if (!PrepareError.empty()) throw EAuException(PrepareError);
        Buffer.resize(ChunkBytes);
    }
    bool OutputBlock(bool Abort) override {
        if (!Active()) return true;
        if (!FFeeding) return false;
        if (Abort) {
            FFeeding = false;
            return false;
        }
        if (Paced) {
            std::unique_lock<std::mutex> l(M);
            if (!C.wait_for(l, std::chrono::milliseconds(20), [&] { return Permits > 0; }))
                return true;  // no permit yet: come back, so stop and pause are seen
            --Permits;
        }
        ++Steps;
        bool end = false;
        const int32_t n = Input()->FillBuffer(Buffer.data(), static_cast<int32_t>(ChunkBytes), end);
        {
            std::lock_guard<std::mutex> l(M);
            Collected.insert(Collected.end(), Buffer.begin(), Buffer.begin() + n);
        }
        if (end) FFeeding = false;
        return !end;
    }
    void ReleaseOutput() override {
        ++Releases;
        Input()->EndRead();
    }

  private:
    std::mutex M;
    std::condition_variable C;
    int Permits = 0;
    std::vector<uint8_t> Collected;
    std::vector<uint8_t> Buffer;
};

// Drains a whole run of `in` as a sink would, asking for `request` bytes per
// block, and returns every byte delivered.
inline std::vector<uint8_t> DrainRun(TAuInput& in, uint32_t request = 1u << 20) {
    std::vector<uint8_t> out;
    in.BeginRead();
    for (;;) {
        uint8_t* block = nullptr;
        uint32_t bytes = request;
        in.GetBlock(block, bytes);
        if (bytes == 0 || !block) break;
        out.insert(out.end(), block, block + bytes);
    }
    in.EndRead();
    return out;
}

// Serves the main-thread queue until `cond` holds or `timeout` passes.
inline bool PumpUntil(const std::function<bool()>& cond,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        CheckSynchronize(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace quillet::test
