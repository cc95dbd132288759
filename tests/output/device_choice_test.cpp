// TDXAudioOut's device by name on the simulated device: moving during a run
// without losing or repeating sound, falling back to the default once when
// the chosen device is missing, fails or goes, and going back to it.
// The device list and the losses are changed from the worker's sleeps, so
// each change lands at a known point of the (instant) simulated run.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ACS_DXAudio.h"
#include "simulated_device.h"
#include "synthetic.h"

using namespace quillet;
using namespace quillet::test;

namespace {

TDeviceGuid Id(uint8_t n) {
    TDeviceGuid id{};
    id[0] = n;
    return id;
}

const std::pair<TDeviceGuid, std::string> kDefault{TDeviceGuid{}, "default"};
const std::pair<TDeviceGuid, std::string> kA{Id(1), "Speakers"};
const std::pair<TDeviceGuid, std::string> kB{Id(2), "USB DAC"};

struct Rig {
    std::shared_ptr<SimulatedSoundSystem> sys = std::make_shared<SimulatedSoundSystem>();
    Owned<TDXAudioOut> out;
    std::atomic<int> done{0}, errors{0};
    std::vector<TDXAudioOut::TDeviceState> events;  // main thread
    std::atomic<int> delivered{0};                  // events.size(), for the worker
    int polls = 0;                                  // worker: sleeps between top-ups
    std::function<void(int)> atPoll;                // worker: called with each poll's number

    explicit Rig(std::vector<std::pair<TDeviceGuid, std::string>> devices) {
        sys->SetDevices(std::move(devices));
        out = MakeOwned<TDXAudioOut>(nullptr, sys);
        out->SetPollingInterval(50);  // the missing device is looked for every 20 polls
        out->SetOnDone([this](TComponent*) { ++done; });
        out->SetOnThreadException([this](TComponent*) { ++errors; });
        out->SetOnDeviceChange([this](TComponent*) {
            events.push_back(out->DeviceState());
            ++delivered;
        });
        sys->SetOnSleep([this](uint32_t ms) {
            if (ms == 50 && atPoll) atPoll(++polls);
            sys->Advance(ms);
        });
    }
    // Worker: holds the clock until `count` changes reached the main thread,
    // so each is read there before the device changes again (a loaded
    // machine may deliver it late).
    void AwaitEvents(int count) const {
        for (int i = 0; i < 5000 && delivered < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void Play(TAuInput& src) {
        out->SetInput(&src);
        out->Start();
        ASSERT_TRUE(PumpUntil([&] { return done == 1; }));
        PumpUntil([] { return false; }, std::chrono::milliseconds(20));  // late events
    }
    std::vector<TDeviceGuid> RingDevices() const {
        std::vector<TDeviceGuid> ids;
        for (const auto& r : sys->Rings()) ids.push_back(r->Device);
        return ids;
    }
    // Everything heard, ring after ring, must be the source from its start.
    void ExpectWholeSourceHeardOnce(const SyntheticSource& src) const {
        std::vector<uint8_t> heard;
        for (const auto& r : sys->Rings()) {
            std::lock_guard<std::mutex> g(r->Lock);
            heard.insert(heard.end(), r->Played.begin(), r->Played.end());
        }
        const auto total = static_cast<size_t>(src.TotalBytes());
        ASSERT_GE(heard.size(), total);
        heard.resize(total);
        EXPECT_TRUE(heard == PatternBytes(0, src.TotalBytes())) << "sound lost or repeated";
    }
};

// 10 s of sound, a ring of 1.5 s.
SyntheticFormat TenSeconds() {
    return {.frames = 441000, .blockBytes = 4096};
}

TEST(DeviceChoice, AChangeDuringPlaybackMovesAtOnceAndGoesOnFromTheSoundHeard) {
    Rig r({kDefault, kA, kB});
    r.out->SetDeviceName("Speakers");
    r.atPoll = [&](int poll) {
        if (poll == 10) r.out->SetDeviceName("USB DAC");
        if (poll == 30) r.out->SetDeviceName("");  // the system default
    };
    SyntheticSource src(TenSeconds());
    r.Play(src);
    EXPECT_EQ(r.errors, 0);
    EXPECT_EQ(r.RingDevices(), (std::vector<TDeviceGuid>{kA.first, kB.first, TDeviceGuid{}}));
    r.ExpectWholeSourceHeardOnce(src);
    EXPECT_TRUE(r.events.empty()) << "a change made by the user is not announced";
    EXPECT_EQ(r.out->DeviceNames(), (std::vector<std::string>{"Speakers", "USB DAC"}));
}

TEST(DeviceChoice, FallsBackOnceWhileTheChosenDeviceIsAwayAndReturnsToIt) {
    Rig r({kDefault, kB});  // the speakers are not plugged in
    r.out->SetDeviceName("Speakers");
    r.atPoll = [&](int poll) {
        if (poll == 5) {
            r.AwaitEvents(1);
            r.sys->SetDevices({kDefault, kA, kB});  // plugged in
        }
        if (poll == 40) {  // and out again
            r.AwaitEvents(2);
            r.sys->SetDevices({kDefault, kB});
            std::lock_guard<std::mutex> g(r.sys->Ring()->Lock);
            r.sys->Ring()->Lost = true;
        }
    };
    SyntheticSource src(TenSeconds());
    r.Play(src);
    EXPECT_EQ(r.errors, 0);
    EXPECT_EQ(r.RingDevices(), (std::vector<TDeviceGuid>{TDeviceGuid{}, kA.first, TDeviceGuid{}}));
    ASSERT_EQ(r.events.size(), 3u);
    EXPECT_TRUE(r.events[0].FellBack);
    EXPECT_EQ(r.events[0].Message,
              "The output device \"Speakers\" is not available; playing on the system default.");
    EXPECT_FALSE(r.events[1].FellBack);
    EXPECT_TRUE(r.events[2].FellBack);
    EXPECT_EQ(r.out->DeviceName(), "Speakers") << "the choice outlives the device";
    // A lost device's queued sound is played again on the next one.
    r.ExpectWholeSourceHeardOnce(src);

    // The next run starts on the default without a second message.
    SyntheticSource again({.frames = 1000});
    r.done = 0;
    r.Play(again);
    EXPECT_EQ(r.events.size(), 3u);
    EXPECT_EQ(r.sys->Ring()->Device, TDeviceGuid{});
}

TEST(DeviceChoice, ADeviceThatFailsIsNotRetriedUntilItHasGoneAndCome) {
    Rig r({kDefault, kA});
    r.sys->SetCreateResultOn(kA.first, DSERR_NODRIVER);
    r.out->SetDeviceName("Speakers");
    r.atPoll = [&](int poll) {
        if (poll == 45) r.sys->SetDevices({kDefault});
        if (poll == 65) {
            r.sys->SetCreateResultOn(kA.first, DS_OK);
            r.sys->SetDevices({kDefault, kA});
        }
    };
    SyntheticSource src(TenSeconds());
    r.Play(src);
    EXPECT_EQ(r.errors, 0);
    // Listed all along until poll 45: one try, not one a second.
    EXPECT_EQ(r.RingDevices(), (std::vector<TDeviceGuid>{TDeviceGuid{}, kA.first}));
    ASSERT_EQ(r.events.size(), 2u);
    r.ExpectWholeSourceHeardOnce(src);
}

TEST(DeviceChoice, NoDeviceAtAllEndsTheRunWithTheDeviceError) {
    Rig r({kDefault, kA});
    r.out->SetDeviceName("Speakers");
    r.atPoll = [&](int poll) {
        if (poll == 5) {
            r.sys->SetOpenResult(DSERR_NODRIVER);
            std::lock_guard<std::mutex> g(r.sys->Ring()->Lock);
            r.sys->Ring()->Lost = true;
        }
    };
    SyntheticSource src(TenSeconds());
    r.Play(src);
    EXPECT_EQ(r.errors, 1);
    EXPECT_EQ(r.out->LastError(), "Failed to create DirectSound device");
    EXPECT_FALSE(src.Active());
}

}  // namespace
