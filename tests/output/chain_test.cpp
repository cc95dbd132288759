// TDXAudioOut on the simulated device, beyond one input per run: queued
// inputs joined without a gap, the fall-back when one cannot follow, a seek
// heard at once, a device stall that loses nothing, and a pause in the drain.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ACS_DXAudio.h"
#include "simulated_device.h"
#include "synthetic.h"

using namespace quillet;
using namespace quillet::test;
using namespace std::chrono_literals;

namespace {

std::vector<uint8_t> Played(const std::shared_ptr<SimulatedRingState>& ring) {
    std::lock_guard<std::mutex> g(ring->Lock);
    return ring->Played;
}

// A sink whose OnNeedNext answers from a list of sources, as a player would.
struct Chain {
    std::shared_ptr<SimulatedSoundSystem> sys = std::make_shared<SimulatedSoundSystem>();
    Owned<TDXAudioOut> out = MakeOwned<TDXAudioOut>(nullptr, sys);
    std::vector<std::unique_ptr<SyntheticSource>> sources;
    size_t next = 1;
    int done = 0, asked = 0, errors = 0;
    std::vector<TAuInput*> heard;
    std::vector<size_t> playedWhenHeard;  // bytes played when each change arrived
    std::atomic<bool> holdClock{false};   // the worker's sleeps wait while set

    explicit Chain(std::vector<SyntheticFormat> formats) {
        for (const SyntheticFormat& f : formats)
            sources.push_back(std::make_unique<SyntheticSource>(f));
        out->SetPollingInterval(7);
        // The simulated clock runs as fast as the worker sleeps; a real one
        // gives the main thread time to answer, and so does this.
        sys->SetOnSleep([this](uint32_t ms) { Sleep(ms); });
        out->SetOnDone([this](TComponent*) { ++done; });
        out->SetOnThreadException([this](TComponent*) { ++errors; });
        out->SetOnNeedNext([this](TComponent*) {
            ++asked;
            out->QueueNext(next < sources.size() ? sources[next++].get() : nullptr);
        });
        out->SetOnTrackChange([this](TComponent*) {
            heard.push_back(out->TakeHeardInput());
            playedWhenHeard.push_back(Played(sys->Ring()).size());
            if (out->TrackChangesPending() > 0) {
                EXPECT_EQ(out->Progress(), 100);
            }
        });
    }
    void Sleep(uint32_t ms) {
        for (int i = 0; i < 2000 && (out->AwaitingNext() || holdClock); ++i)
            std::this_thread::sleep_for(1ms);
        sys->Advance(ms);
    }
    void Play() {
        out->SetInput(sources[0].get());
        out->Start();
        ASSERT_TRUE(PumpUntil([&] { return done == 1; }));
    }
    std::vector<uint8_t> Expected(size_t count) const {
        std::vector<uint8_t> all;
        for (size_t i = 0; i < count; ++i) {
            const auto bytes = PatternBytes(0, sources[i]->TotalBytes());
            all.insert(all.end(), bytes.begin(), bytes.end());
        }
        return all;
    }
};

bool StartsWith(const std::vector<uint8_t>& v, const std::vector<uint8_t>& prefix) {
    return v.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), v.begin());
}

TEST(Chain, QueuedInputsOfTheSameFormatFollowWithoutAGap) {
    // Longer than the ring, shorter than one poll of it, and an odd block size.
    Chain c({{.frames = 90000}, {.frames = 700}, {.frames = 30001, .blockBytes = 333}});
    c.Play();
    EXPECT_EQ(c.errors, 0);
    EXPECT_EQ(c.asked, 3);  // once per input; the last was answered "none"
    ASSERT_EQ(c.sys->Rings().size(), 1u) << "one device for the whole chain";
    const std::vector<uint8_t> played = Played(c.sys->Ring());
    const std::vector<uint8_t> expected = c.Expected(3);
    ASSERT_TRUE(StartsWith(played, expected));
    EXPECT_TRUE(std::all_of(played.begin() + static_cast<ptrdiff_t>(expected.size()), played.end(),
                            [](uint8_t b) { return b == 0; }));
    // Each change is told once its first sample has been played, in order.
    ASSERT_EQ(c.heard, (std::vector<TAuInput*>{c.sources[1].get(), c.sources[2].get()}));
    EXPECT_GE(c.playedWhenHeard[0], static_cast<size_t>(c.sources[0]->TotalBytes()));
    EXPECT_GE(c.playedWhenHeard[1],
              static_cast<size_t>(c.sources[0]->TotalBytes() + c.sources[1]->TotalBytes()));
    for (const auto& s : c.sources) EXPECT_FALSE(s->Active());
}

// Another rate, a file that cannot be opened: the run ends after the first
// input, as a run always did, and the caller starts the next one itself.
TEST(Chain, AnInputThatCannotFollowEndsTheRun) {
    for (const SyntheticFormat& second : {SyntheticFormat{.rate = 48000, .frames = 1000},
                                          SyntheticFormat{.bits = 8, .frames = 1000},
                                          SyntheticFormat{.openError = "Unable to open"}}) {
        Chain c({{.frames = 5000}, second});
        c.Play();
        EXPECT_EQ(c.errors, 0) << "the next input is not this run's error";
        EXPECT_TRUE(c.heard.empty());
        const std::vector<uint8_t> played = Played(c.sys->Ring());
        const std::vector<uint8_t> first = c.Expected(1);
        ASSERT_TRUE(StartsWith(played, first));
        EXPECT_TRUE(std::all_of(played.begin() + static_cast<ptrdiff_t>(first.size()), played.end(),
                                [](uint8_t b) { return b == 0; }));
        EXPECT_FALSE(c.sources[1]->Active()) << "opened ahead, ended with the run";
    }
}

// A damaged file that ends in half a frame: the next track still starts on
// a frame (its samples would all be torn), and a list whose inputs give
// nothing at all ends the run instead of being chained round for ever.
TEST(Chain, TornAndEmptyInputsNeverTearOrSpinTheChain) {
    Chain torn({{.frames = 5000, .tornBytes = 2}, {.frames = 3000}});
    torn.Play();
    std::vector<uint8_t> expected = PatternBytes(0, 5000 * 4);  // the torn frame is dropped
    const auto second = PatternBytes(0, torn.sources[1]->TotalBytes());
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_TRUE(StartsWith(Played(torn.sys->Ring()), expected));

    Chain empty({{.frames = 3000}, {.frames = 0}, {.frames = 0}});
    int asked = 0;
    empty.out->SetOnNeedNext([&](TComponent*) {
        // Round and round: one empty input, then the other, again and again.
        empty.out->QueueNext(empty.sources[1 + asked++ % 2].get());
    });
    empty.Play();  // ends, with OnDone
    EXPECT_TRUE(StartsWith(Played(empty.sys->Ring()), PatternBytes(0, 3000 * 4)));
}

// A queued input dropped before its turn is never played; the sink asks
// again, and what is queued then follows.
TEST(Chain, ACancelledInputIsReplacedByTheNextAnswer) {
    // The first input outlasts the ring by seconds, and its clock is held
    // while the answer changes, so the worker cannot take the first answer
    // before it is cancelled.
    Chain c({{.frames = 400000}, {.frames = 2000}, {.frames = 3000}});
    c.out->SetOnNeedNext([&](TComponent*) {
        if (++c.asked == 1) {
            c.holdClock = true;
            c.out->QueueNext(c.sources[1].get());
            EXPECT_TRUE(c.out->CancelNext());
            EXPECT_EQ(c.out->QueuedNext(), nullptr);
            c.out->QueueNext(c.sources[2].get());
            c.holdClock = false;
        } else {
            c.out->QueueNext(nullptr);
        }
    });
    c.Play();
    EXPECT_EQ(c.heard, (std::vector<TAuInput*>{c.sources[2].get()}));
    std::vector<uint8_t> expected = c.Expected(1);
    const auto third = PatternBytes(0, c.sources[2]->TotalBytes());
    expected.insert(expected.end(), third.begin(), third.end());
    EXPECT_TRUE(StartsWith(Played(c.sys->Ring()), expected));
}

// A seek during a run drops the queued sound: the new position is heard
// within one poll, not after the whole ring of the old one.
TEST(Chain, ASeekIsHeardAtOnce) {
    Chain c({SyntheticFormat{.frames = 400000}});
    std::atomic<int> sleeps{0};
    int64_t playedAtSeek = -1;
    c.sys->SetOnSleep([&](uint32_t ms) {
        if (++sleeps == 20) {
            playedAtSeek = static_cast<int64_t>(Played(c.sys->Ring()).size());
            EXPECT_TRUE(c.sources[0]->GoToSample(300000));
        }
        c.Sleep(ms);
    });
    c.Play();
    const std::vector<uint8_t> played = Played(c.sys->Ring());
    const auto target = PatternBytes(300000 * 4, 4096);
    const auto at =
        std::search(played.begin() + playedAtSeek, played.end(), target.begin(), target.end());
    ASSERT_NE(at, played.end());
    // One 7 ms poll at 44.1 kHz stereo is about 1235 bytes.
    EXPECT_LE(at - played.begin() - playedAtSeek, 2 * 1235);
}

// A stall longer than the ring (a stopped process) on a device whose cursor
// moves only as it takes sound: nothing queued is thrown away.
TEST(Chain, ADeviceStallLosesNothingWhenTheCursorIsExact) {
    for (bool exact : {true, false}) {
        Chain c({SyntheticFormat{.frames = 300000}});
        c.sys->SetExactCursor(exact);
        int underruns = 0;
        c.out->SetOnUnderrun([&](TComponent*) { ++underruns; });
        std::atomic<int> sleeps{0};
        c.sys->SetOnSleep([&](uint32_t ms) {
            // 2.5 s pass on the clock while the device takes nothing.
            if (++sleeps == 30) c.sys->SetCounter(c.sys->Counter() + 2'500'000'000);
            c.Sleep(ms);
        });
        c.Play();
        if (exact) {
            EXPECT_EQ(underruns, 0);
            EXPECT_TRUE(StartsWith(Played(c.sys->Ring()), c.Expected(1)));
        } else {
            EXPECT_GE(underruns, 1) << "a clock-driven cursor must read the stall as laps";
        }
    }
}

// A pause while the end drains is answered at once, not after the drain.
TEST(Chain, APauseDuringTheDrainReturnsAtOnce) {
    Chain c({SyntheticFormat{.frames = 1000}});
    std::atomic<int> drainSteps{0};
    c.sys->SetOnSleep([&](uint32_t ms) {
        if (ms == 100) ++drainSteps;
        std::this_thread::sleep_for(5ms);
        c.Sleep(ms);
    });
    c.out->SetFramesInBuffer(65536 * 4);  // a drain of about 6 s of steps
    c.out->SetInput(c.sources[0].get());
    c.out->Start();
    ASSERT_TRUE(PumpUntil([&] { return drainSteps > 0; }));
    const int before = drainSteps;
    c.out->Pause();
    EXPECT_LE(drainSteps - before, 3);
    c.out->Resume();
    ASSERT_TRUE(PumpUntil([&] { return c.done == 1; }));
}

// The play point follows what is heard, not what was delivered (a ring
// ahead of it), and lands on the target of a seek at once.
TEST(Chain, ThePlayPointIsWhatIsHeard) {
    Chain c({SyntheticFormat{.frames = 400000}});
    std::vector<std::pair<int64_t, int64_t>> points;  // (play point, frames played)
    std::atomic<int> sleeps{0};
    c.sys->SetOnSleep([&](uint32_t ms) {
        const int n = ++sleeps;
        if (n % 10 == 0 && n <= 60) {
            const TAuOutput::TPlayPoint p = c.out->PlayPoint();
            points.emplace_back(p.Frame, static_cast<int64_t>(Played(c.sys->Ring()).size() / 4));
            EXPECT_EQ(p.Rate, 44100u);
            EXPECT_EQ(p.Length, 400000);
        }
        if (n == 55) {
            EXPECT_TRUE(c.sources[0]->GoToSample(300000));
        }
        c.Sleep(ms);
    });
    c.Play();
    ASSERT_EQ(points.size(), 6u);
    // Each poll of 7 ms plays about 309 frames.
    for (size_t i = 0; i < 5; ++i)
        EXPECT_NEAR(static_cast<double>(points[i].first), static_cast<double>(points[i].second),
                    320)
            << i;
    EXPECT_GE(points[5].first, 300000);
    EXPECT_LE(points[5].first, 300000 + 5 * 320);
    EXPECT_EQ(c.out->PlayPoint().Rate, 0u) << "no run, no point";
}

}  // namespace
