// A setting written by one thread (the GUI's) and read by another (a sink's
// worker) without a lock either side waits on: a sequence count around the
// value's words. The writer never waits; the reader keeps what it had when
// it meets a write under way and takes the value at its next look.
//
// A NOTE ON THREADS
// - Store: one writing thread at a time (the GUI thread).
// - Load / TryLoad / Serial: any thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace quillet {

template <class T>
class TSharedSetting {
    static_assert(std::is_trivially_copyable_v<T>, "copied word by word");

  public:
    explicit TSharedSetting(const T& value = T{}) { Store(value); }

    void Store(const T& value) {
        std::array<uint64_t, kWords> words{};
        std::memcpy(words.data(), &value, sizeof(T));
        const uint32_t s = FSerial.load(std::memory_order_relaxed);
        FSerial.store(s + 1, std::memory_order_relaxed);  // odd: a write is under way
        // Release on each word (not a fence, which the thread sanitizer cannot
        // follow): a reader that sees a new word also sees the odd count.
        for (size_t i = 0; i < kWords; ++i) FWords[i].store(words[i], std::memory_order_release);
        FSerial.store(s + 2, std::memory_order_release);
    }

    // The value, unless a write was under way; then false and `out` kept.
    bool TryLoad(T& out) const {
        const uint32_t before = FSerial.load(std::memory_order_acquire);
        if (before & 1u) return false;
        std::array<uint64_t, kWords> words{};
        // Acquire on each word keeps the second look at the count after them.
        for (size_t i = 0; i < kWords; ++i) words[i] = FWords[i].load(std::memory_order_acquire);
        if (FSerial.load(std::memory_order_relaxed) != before) return false;
        std::memcpy(static_cast<void*>(&out), words.data(), sizeof(T));
        return true;
    }

    // For the writing thread (nobody else changes it meanwhile).
    T Load() const {
        T value{};
        while (!TryLoad(value)) {
        }
        return value;
    }

    // Changes with every Store: a reader compares it with the one it took.
    uint32_t Serial() const { return FSerial.load(std::memory_order_acquire); }

  private:
    static constexpr size_t kWords = (sizeof(T) + 7) / 8;
    std::array<std::atomic<uint64_t>, kWords> FWords{};
    std::atomic<uint32_t> FSerial{0};
};

}  // namespace quillet
