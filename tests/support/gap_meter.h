// The longest the GUI thread went without serving its event loop: a 5 ms
// timer's ticks, and the longest time between two of them. Used by the stress
// tests and the window benchmarks; header-only so both can take it.
#pragma once

#include <QObject>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdint>

namespace quillet::test {

class GapMeter {
  public:
    GapMeter() {
        FLast = Clock::now();
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            FMax = std::max<int64_t>(
                FMax, std::chrono::duration_cast<std::chrono::milliseconds>(now - FLast).count());
            FLast = now;
        });
        FTimer.start(5);
    }
    // In milliseconds, since this object was made.
    int64_t MaxGapMs() const { return FMax; }

  private:
    using Clock = std::chrono::steady_clock;
    QTimer FTimer;
    Clock::time_point FLast;
    int64_t FMax = 0;
};

}  // namespace quillet::test
