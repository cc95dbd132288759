// TDXAudioOut on the simulated device: the first fill, topping up, the drain,
// the 17-query limit, underruns, pause/resume, the format and the messages.
// The simulated clock runs only when the sink sleeps, so runs take no time.
#include <gtest/gtest.h>

#include <condition_variable>
#include <thread>

#include "ACS_DXAudio.h"
#include "simulated_device.h"
#include "synthetic.h"

using namespace quillet;
using namespace quillet::test;
using namespace std::chrono_literals;

namespace {

bool Playing(const std::shared_ptr<SimulatedRingState>& ring) {
    std::lock_guard<std::mutex> g(ring->Lock);
    return ring->Playing;
}

struct Player {
    // The handlers' state outlives the sink.
    std::atomic<int> done{0}, errors{0}, underruns{0};
    std::string lastError;
    std::shared_ptr<SimulatedSoundSystem> sys = std::make_shared<SimulatedSoundSystem>();
    Owned<TDXAudioOut> out = MakeOwned<TDXAudioOut>(nullptr, sys);

    Player() {
        out->SetPollingInterval(7);  // tells polls (7 ms) from drain steps (100 ms)
        out->SetOnDone([this](TComponent*) { ++done; });
        out->SetOnThreadException([this](TComponent*) {
            lastError = out->LastError();
            ++errors;
        });
        out->SetOnUnderrun([this](TComponent*) { ++underruns; });
    }
    void Play(TAuInput& src, int runs = 1) {
        out->SetInput(&src);
        out->Start();
        ASSERT_TRUE(PumpUntil([&] { return done == runs; }));
    }
    size_t SleepsOf(uint32_t ms) const {
        auto s = sys->Sleeps();
        return static_cast<size_t>(std::count(s.begin(), s.end(), ms));
    }
};

TEST(DXAudio, FillsTheWholeRingBeforeItPlaysThenTopsUpInOrder) {
    Player r;
    SyntheticSource src({.channels = 2, .bits = 16, .rate = 22050, .frames = 150000});
    std::vector<uint8_t> atFirstSleep;
    bool playingAtFirstSleep = false;
    r.sys->SetOnSleep([&](uint32_t ms) {
        if (atFirstSleep.empty()) {
            auto ring = r.sys->Ring();
            std::lock_guard<std::mutex> g(ring->Lock);
            atFirstSleep = ring->Memory;
            playingAtFirstSleep = ring->Playing && ring->Played.empty() && ring->Rewinds == 1;
        }
        r.sys->Advance(ms);
    });
    r.Play(src);
    EXPECT_EQ(r.errors, 0);
    EXPECT_EQ(r.underruns, 0);
    EXPECT_TRUE(playingAtFirstSleep);
    EXPECT_EQ(atFirstSleep, PatternBytes(0, 262144));

    // 22050 Hz: the ring lasts 2.97 s, the drain 3000 ms and a step, so
    // every byte is heard, in order, followed by silence.
    EXPECT_EQ(r.SleepsOf(100), 31u);
    auto ring = r.sys->Ring();
    std::lock_guard<std::mutex> g(ring->Lock);
    EXPECT_TRUE(ring->Released);
    EXPECT_FALSE(ring->Playing);
    const auto total = static_cast<size_t>(src.TotalBytes());
    ASSERT_GT(ring->Played.size(), total);
    EXPECT_TRUE(std::equal(ring->Played.begin(), ring->Played.begin() + total,
                           PatternBytes(0, src.TotalBytes()).begin()));
    EXPECT_TRUE(std::all_of(ring->Played.begin() + total, ring->Played.end(),
                            [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(ring->Format.FormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(ring->Memory.size(), 262144u);
}

// The drain plays out what is queued and one step more, no longer; the
// ring's length in whole seconds and a step bound it when the device stops
// taking sound.
TEST(DXAudio, TheDrainEndsOnceTheLastSampleIsPlayed) {
    struct Case {
        uint32_t rate;
        int64_t frames;
        bool stalled;
        size_t steps;
    };
    for (const Case& c : {Case{44100, 1000, false, 2}, Case{22050, 60000, false, 29},
                          Case{44100, 1000, true, 21}, Case{22050, 1000, true, 31}}) {
        Player r;
        if (c.stalled) r.sys->SetOnSleep([](uint32_t) {});
        SyntheticSource src({.rate = c.rate, .frames = c.frames});
        r.Play(src);
        EXPECT_EQ(r.SleepsOf(100), c.steps) << c.rate << " " << c.frames;
        EXPECT_EQ(r.SleepsOf(7), 0u) << "a short source drains from the first step";
        EXPECT_EQ(r.sys->Ring()->PlayCalls, 1);
        EXPECT_EQ(r.errors, 0);
    }
}

// Every Play and Next stops the current run with a waiting Stop; in the
// drain that Stop once waited the full two seconds, freezing the window.
TEST(DXAudio, AStopDuringTheDrainEndsItAtOnce) {
    Player r;
    SyntheticSource src({.frames = 1000});
    std::atomic<int> drainSteps{0};
    r.sys->SetOnSleep([&](uint32_t ms) {
        if (ms == 100) ++drainSteps;
        std::this_thread::sleep_for(5ms);
        r.sys->Advance(ms);
    });
    r.out->SetInput(&src);
    r.out->Start();
    ASSERT_TRUE(PumpUntil([&] { return drainSteps > 0; }));
    r.out->Stop(false);
    EXPECT_FALSE(r.out->Active());
    // A step or two may pass before the stop is seen, never the whole drain.
    EXPECT_LE(drainSteps.load(), 5) << "of the 20 a whole drain takes";
    EXPECT_FALSE(Playing(r.sys->Ring()));
}

TEST(DXAudio, SilenceFollowsTheSampleFormat) {
    for (uint32_t bits : {8u, 16u}) {
        Player r;
        r.out->SetFramesInBuffer(8000);
        SyntheticSource src({.channels = 1, .bits = bits, .rate = 8000, .frames = 2000});
        r.Play(src);
        auto ring = r.sys->Ring();
        const uint8_t silence = bits == 8 ? 128 : 0;
        const auto data = static_cast<size_t>(src.TotalBytes());
        std::lock_guard<std::mutex> g(ring->Lock);
        EXPECT_TRUE(std::all_of(ring->Memory.begin() + data, ring->Memory.end(), [&](uint8_t b) {
            return b == silence;
        })) << bits;
    }
}

TEST(DXAudio, SeventeenQueriesWithoutRoomEndTheRun) {
    for (bool failQuery : {false, true}) {
        Player r;
        SyntheticSource src({.frames = 200000});
        // The device never plays: the ring stays full (or cannot be asked).
        r.sys->SetOnSleep([&](uint32_t) {
            if (failQuery) r.sys->Ring()->PositionResult = DSERR_GENERIC;
        });
        r.Play(src);
        EXPECT_EQ(r.errors, 1);
        EXPECT_EQ(r.lastError, "Audio output error");
        EXPECT_EQ(r.SleepsOf(7), 17u);
        EXPECT_FALSE(r.out->Active());
        EXPECT_TRUE(r.sys->Ring()->Released);
        EXPECT_FALSE(src.Active());
    }
}

TEST(DXAudio, UnderrunIsReportedAndPlaybackGoesOn) {
    Player r;
    SyntheticSource src({.frames = 200000});
    int sleeps = 0;
    r.sys->SetOnSleep([&](uint32_t ms) {
        // The worker is held up for three passes of the ring.
        if (++sleeps == 4) r.sys->SetCounter(r.sys->Counter() + 4500000000);
        r.sys->Advance(ms);
    });
    r.Play(src);
    EXPECT_EQ(r.underruns, 1);
    EXPECT_EQ(r.errors, 0);
    EXPECT_EQ(r.out->LastError(), "");
    auto ring = r.sys->Ring();
    EXPECT_EQ(ring->PlayCalls, 2);  // BeginPlayback, then the restart
    EXPECT_GT(r.SleepsOf(7), 20u);  // it went on topping up to the end
}

TEST(DXAudio, FramesInBufferWrittenDuringARunWaitsForTheNextIdle) {
    Player r;
    SyntheticSource src({.frames = 100000});
    std::atomic<bool> hold{true};
    std::mutex m;
    std::condition_variable cv;
    std::atomic<bool> inside{false};
    r.sys->SetOnSleep([&](uint32_t ms) {
        std::unique_lock<std::mutex> l(m);
        inside = true;
        cv.wait_for(l, 20s, [&] { return !hold; });
        l.unlock();
        r.sys->Advance(ms);
    });
    r.out->SetFramesInBuffer(4096);
    r.out->SetInput(&src);
    r.out->Start();
    ASSERT_TRUE(PumpUntil([&] { return inside.load(); }));
    r.out->SetFramesInBuffer(1024);
    EXPECT_EQ(r.out->FramesInBuffer(), 4096u);
    {
        std::lock_guard<std::mutex> l(m);
        hold = false;
    }
    cv.notify_all();
    ASSERT_TRUE(PumpUntil([&] { return r.done == 1; }));
    EXPECT_EQ(r.sys->Ring()->Memory.size(), 4096u * 4);
    r.out->SetFramesInBuffer(1024);
    r.out->Start();
    ASSERT_TRUE(PumpUntil([&] { return r.done == 2; }));
    EXPECT_EQ(r.sys->Ring()->Memory.size(), 1024u * 4);
}

TEST(DXAudio, PauseHaltsTheRingAndResumeRestartsIt) {
    Player r;
    SyntheticSource src({.frames = 300000});
    std::atomic<int> sleeps{0};
    r.sys->SetOnSleep([&](uint32_t ms) {
        ++sleeps;
        r.sys->Advance(ms);
        std::this_thread::sleep_for(1ms);  // pace the run so the test can reach it
    });
    r.out->SetInput(&src);
    r.out->Start();
    ASSERT_TRUE(PumpUntil([&] { return sleeps >= 2; }));
    r.out->Pause();
    auto ring = r.sys->Ring();
    const int atPause = sleeps;
    EXPECT_FALSE(Playing(ring));
    CheckSynchronize(30ms);
    EXPECT_EQ(sleeps, atPause);  // the worker holds
    r.out->Resume();
    EXPECT_TRUE(Playing(ring));
    r.out->Stop(false);
    EXPECT_EQ(r.errors, 0);
    EXPECT_EQ(r.underruns, 0);  // the halted time is not a lap
}

TEST(DXAudio, PauseAfterTheSourceEndedLeavesTheRingPlaying) {
    Player r;
    // Of unknown size, so the source is asked once more at its end.
    SyntheticSource src({.frames = 100000, .unknownSize = true});
    std::mutex m;
    std::condition_variable cv;
    bool atEnd = false, go = false;
    src.OnRead = [&] {
        if (src.Pos < src.TotalBytes()) return;
        std::unique_lock<std::mutex> l(m);
        if (atEnd) return;
        atEnd = true;
        cv.notify_all();
        cv.wait_for(l, 20s, [&] { return go; });
    };
    r.out->SetInput(&src);
    r.out->Start();
    {
        std::unique_lock<std::mutex> l(m);
        ASSERT_TRUE(cv.wait_for(l, 20s, [&] { return atEnd; }));
    }
    // Let the worker finish its step only once the pause has been asked for.
    std::thread release([&] {
        std::this_thread::sleep_for(200ms);
        std::lock_guard<std::mutex> l(m);
        go = true;
        cv.notify_all();
    });
    r.out->Pause();
    release.join();
    auto ring = r.sys->Ring();
    ASSERT_TRUE(r.out->Active());
    EXPECT_TRUE(Playing(ring));
    EXPECT_EQ(ring->StopCalls, 0);
    // Resume leaves the ring alone, and the run drains and ends.
    r.out->Resume();
    ASSERT_TRUE(PumpUntil([&] { return r.done == 1; }));
    EXPECT_EQ(ring->PlayCalls, 1);
    EXPECT_EQ(r.SleepsOf(100), 16u);  // the full 1.49 s ring plays out, and a step more
}

TEST(DXAudio, VolumeIsKeptForEveryNewRing) {
    Player r;
    SyntheticSource src({.frames = 1000});
    r.out->SetVolume(-1500);  // idle: remembered
    r.Play(src);
    EXPECT_EQ(r.sys->Ring()->Volume, -1500);
    r.out->Start();
    ASSERT_TRUE(PumpUntil([&] { return r.done == 2; }));
    EXPECT_EQ(r.sys->Rings().size(), 2u);
    EXPECT_EQ(r.sys->Ring()->Volume, -1500);

    // A ring without volume control still plays; the caller of SetVolume
    // hears about it.
    r.sys->SetVolumeControl(false);
    SyntheticSource longer({.frames = 200000});
    std::atomic<bool> started{false};
    r.sys->SetOnSleep([&](uint32_t ms) {
        started = true;
        r.sys->Advance(ms);
        std::this_thread::sleep_for(1ms);
    });
    r.out->SetInput(&longer);
    r.out->Start();
    ASSERT_TRUE(PumpUntil([&] { return started.load(); }));
    EXPECT_THROW(
        {
            try {
                r.out->SetVolume(-100);
            } catch (const Exception& e) {
                EXPECT_STREQ(e.what(), "Control not available");
                throw;
            }
        },
        Exception);
    r.out->Stop(false);
    EXPECT_EQ(r.errors, 0);
}

TEST(DXAudio, FormatFollowsChannelsAndBits) {
    struct Case {
        uint32_t channels, bits;
        uint16_t tag;
        uint32_t mask;
    };
    for (Case c :
         {Case{2, 16, WAVE_FORMAT_PCM, 0}, Case{1, 8, WAVE_FORMAT_PCM, 0},
          Case{6, 16, WAVE_FORMAT_EXTENSIBLE, 0x3F}, Case{2, 24, WAVE_FORMAT_EXTENSIBLE, 0x3},
          Case{1, 24, WAVE_FORMAT_EXTENSIBLE, 0}, Case{8, 32, WAVE_FORMAT_EXTENSIBLE, 0xFF},
          Case{3, 16, WAVE_FORMAT_EXTENSIBLE, 0}}) {
        Player r;
        r.out->SetFramesInBuffer(1000);
        SyntheticSource src({.channels = c.channels, .bits = c.bits, .rate = 48000, .frames = 10});
        r.Play(src);
        const TWaveFormat f = r.sys->Ring()->Format;
        const uint16_t align = static_cast<uint16_t>(c.channels * c.bits / 8);
        EXPECT_EQ(f.FormatTag, c.tag) << c.channels << "x" << c.bits;
        EXPECT_EQ(f.ChannelMask, c.mask) << c.channels << "x" << c.bits;
        EXPECT_EQ(f.ExtraSize, c.tag == WAVE_FORMAT_PCM ? 0 : 22);
        if (c.tag == WAVE_FORMAT_EXTENSIBLE) {
            EXPECT_EQ(f.SubFormat, KSDATAFORMAT_SUBTYPE_PCM);
        }
        EXPECT_EQ(f.BlockAlign, align);
        EXPECT_EQ(f.AvgBytesPerSec, align * 48000u);
        EXPECT_EQ(r.sys->Ring()->Memory.size(), 1000u * align);
    }
}

// Each failure also says whose it is: the device's (no file would play) or
// the format's (another file may).
TEST(DXAudio, PreparationFailuresEndTheRunWithTheirMessage) {
    using F = TAuOutput::TFault;
    {
        Player r;  // one device: number 1 is out of range
        SyntheticSource src;
        r.out->SetDeviceNumber(1);
        r.Play(src);
        EXPECT_EQ(r.lastError, "Invalid device number");
        EXPECT_EQ(r.sys->OpenCount(), 0);
        r.out->SetDeviceNumber(-1);
        r.out->Start();
        ASSERT_TRUE(PumpUntil([&] { return r.done == 2; }));
        EXPECT_EQ(r.lastError, "Invalid device number");
        EXPECT_EQ(r.out->LastFault(), F::Device);
        EXPECT_FALSE(src.Active());
    }
    {
        Player r;
        SyntheticSource src;
        r.sys->SetOpenResult(DSERR_NODRIVER);
        r.Play(src);
        EXPECT_EQ(r.lastError, "Failed to create DirectSound device");
        EXPECT_EQ(r.out->LastFault(), F::Device);
        EXPECT_FALSE(src.Active());
    }
    {
        Player r;
        SyntheticSource src;
        r.sys->SetCreateResult(DSERR_BADFORMAT);
        r.Play(src);
        EXPECT_EQ(r.lastError, "Failed to create DirectSound buffer88780064");
        EXPECT_EQ(r.out->LastFault(), F::Format);
        // Ready for another run.
        r.sys->SetCreateResult(DS_OK);
        r.out->Start();
        ASSERT_TRUE(PumpUntil([&] { return r.done == 2; }));
        EXPECT_EQ(r.errors, 1);
        EXPECT_EQ(r.out->LastFault(), F::None);
    }
    {
        Player r;  // a ring beyond 32-bit offsets is refused, not wrapped
        SyntheticSource src({.channels = 8, .bits = 32});
        r.out->SetFramesInBuffer(0x10000000);
        r.Play(src);
        EXPECT_EQ(r.lastError, "Failed to create DirectSound buffer80070057");
        EXPECT_EQ(r.out->LastFault(), F::Format);
    }
}

TEST(DXAudio, OpensTheChosenDevice) {
    Player r;
    TDeviceGuid second{};
    second[3] = 9;
    r.sys->SetDevices({{TDeviceGuid{}, "default"}, {second, "second"}});
    r.out = MakeOwned<TDXAudioOut>(nullptr, r.sys);
    r.out->SetOnDone([&](TComponent*) { ++r.done; });
    EXPECT_EQ(r.out->DeviceCount(), 2);
    EXPECT_EQ(r.out->FramesInBuffer(), 65536u);
    EXPECT_EQ(r.out->PollingInterval(), 200u);
    EXPECT_EQ(r.out->DeviceNumber(), 0);
    r.out->SetDeviceNumber(1);
    SyntheticSource src({.frames = 10});
    r.Play(src);
    EXPECT_EQ(r.sys->LastOpened(), second);
}

// Listing devices starts the sound library: a new sink does not (the window
// shows without it); the list is taken once, when first asked for.
TEST(DXAudio, ListsTheDevicesWhenFirstAskedNotAtConstruction) {
    struct Counting : SimulatedSoundSystem {
        std::atomic<int> Listed{0};
        TDSResult Enumerate(const TDeviceFound& Found) override {
            ++Listed;
            return SimulatedSoundSystem::Enumerate(Found);
        }
    };
    auto sys = std::make_shared<Counting>();
    Owned<TDXAudioOut> out = MakeOwned<TDXAudioOut>(nullptr, sys);
    EXPECT_EQ(sys->Listed, 0);
    EXPECT_EQ(out->DeviceCount(), 1);
    EXPECT_EQ(out->DeviceList().Items[0].Guid, TDeviceGuid{});
    EXPECT_EQ(sys->Listed, 1);
}

}  // namespace
