// The time text, the seek target of the arrow keys and the clock that reads
// a run's time from its input.
#include <gtest/gtest.h>

#include "synthetic.h"
#include "time_display.h"

namespace quillet::test {
namespace {

constexpr uint32_t kRate = 44100;

TPlayTime At(double seconds, double length, bool estimated = false, uint32_t rate = kRate) {
    auto frames = [rate](double s) { return s < 0 ? int64_t{-1} : static_cast<int64_t>(s * rate); };
    return {frames(seconds), frames(length), rate, estimated};
}

TEST(TimeDisplay, Text) {
    const struct {
        TPlayTime time;
        const char* text;
    } cases[] = {
        {TPlayTime{}, "--:-- / --:--"},
        {At(83, 296, false, 0), "--:-- / --:--"},  // no rate: nothing is known
        {At(0, 296), "0:00 / 4:56"},
        {At(0.999, 296), "0:00 / 4:56"},  // whole seconds gone by
        {At(83.5, 296), "1:23 / 4:56"},
        {At(296, 296), "4:56 / 4:56"},
        {At(59 * 60 + 59, 3600), "59:59 / 1:00:00"},
        {At(3723, 7200), "1:02:03 / 2:00:00"},
        {At(90061, 100000), "25:01:01 / 27:46:40"},  // past a day: still hours
        {At(83, -1), "1:23 / --:--"},
        {At(83, 296, true), "1:23 / ~4:56"},
        {At(83, -1, true), "1:23 / --:--"},  // nothing to estimate
    };
    for (const auto& c : cases) EXPECT_EQ(FormatPlayTime(c.time), c.text) << c.text;
    EXPECT_EQ(FormatClock(-5), "--:--");
}

TEST(TimeDisplay, SeekTargetStaysInsideTheTrack) {
    const struct {
        TPlayTime time;
        int seconds;
        std::optional<int64_t> target;
    } cases[] = {
        {At(10, 60), 5, 15 * kRate},
        {At(10, 60), -5, 5 * kRate},
        {At(3, 60), -5, 0},
        {At(57, 60), 5, 60 * kRate},  // the end, not a refused seek past it
        {At(57, -1), 5, 62 * kRate},  // no length to stop at
        {At(-1, 60), 5, std::nullopt},
        {At(10, 60, false, 0), 5, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(SeekTarget(c.time, c.seconds), c.target);
}

// A source whose length is a header's estimate.
}  // namespace
}  // namespace quillet::test
