// The controller's measured gain on the simulated device with real files and
// the real meter: untagged files measured while they are about to play end
// up at one level, smart mode takes the album's gain for an album in order
// and each track's own in shuffle, and the Off mode measures nothing. What
// the device received is measured with libebur128. (The sink's side, tags
// against measured gains and the ramp, is tested with the loudness service.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <thread>

#include "ebur128_lib.h"
#include "loud_noise.h"
#include "playback_controller.h"
#include "simulated_device.h"
#include "synthetic.h"
#include "wave_fixture.h"

namespace quillet {
namespace {

using namespace quillet::test;
using namespace std::chrono_literals;

constexpr double kSeconds = 2;
constexpr size_t kTrackBytes = static_cast<size_t>(kSeconds * 44100) * 4;

std::string Dir() {
    const std::string dir = TmpRoot() + "/measured-gain";
    std::filesystem::create_directories(dir);
    return dir;
}

// Untagged pink noise of about `lufs`.
std::string Noise(const std::string& name, double lufs) {
    return LoudNoise(Dir() + "/" + name, lufs, kSeconds);
}

class MeasuredGainTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(Ebur128Lib().Load());
        // While HoldClock, the device plays nothing: the sink keeps asking
        // about gains while the files are measured.
        Sound->SetOnSleep([this](uint32_t ms) {
            for (int i = 0; i < 2000 && (Control->Output().AwaitingNext() || HoldClock); ++i)
                std::this_thread::sleep_for(1ms);
            Sound->Advance(ms);
        });
        Control = std::make_unique<TPlaybackController>(List, Sound);
        Control->Output().SetPollingInterval(20);
        Control->MeasuredGain().SetOptions({.CacheFile = ""});
        Control->SetRepeat(TRepeat::StopAtEnd);
    }
    void TearDown() override { Control.reset(); }

    void Add(const std::string& path, const std::string& album) {
        TPlaylistEntry e;
        e.Title = e.FilePath = path;
        List.Append({e});
        TEntryInfo info;
        info.Tags.Album = album;
        List.SetInfo(List[List.size() - 1].Id, info);
    }
    // Plays the list from row 0 to its end, the clock held until what was
    // asked for is measured (`measured` files so far); the loudness of each track's part of what
    // the device received, past its first half second (a late gain's ramp).
    std::vector<double> PlayAll(uint32_t measured) {
        HoldClock = true;
        List.Select(0);
        Control->Play();
        TLoudnessService* service = Control->MeasuredGain().Service();
        EXPECT_NE(service, nullptr);
        if (service) {
            service->WaitIdle();
            EXPECT_EQ(service->Measured(), measured);
        }
        HoldClock = false;
        EXPECT_TRUE(PumpUntil([&] { return !Control->Playing(); }));
        std::vector<uint8_t> played;
        {
            std::lock_guard<std::mutex> g(Sound->Ring()->Lock);
            played = Sound->Ring()->Played;
        }
        std::vector<double> levels;
        const size_t skip = 44100 / 2 * 4;
        for (size_t at = 0; at + kTrackBytes <= played.size(); at += kTrackBytes)
            levels.push_back(LoudnessOf(played.data() + at + skip, kTrackBytes - skip));
        EXPECT_EQ(levels.size(), List.size());
        return levels;
    }

    TPlaylistModel List;
    std::shared_ptr<SimulatedSoundSystem> Sound = std::make_shared<SimulatedSoundSystem>();
    std::unique_ptr<TPlaybackController> Control;
    std::atomic<bool> HoldClock{false};
};

// With the gain off nothing is measured. Smart mode: an album in order keeps
// its tracks' difference (the album's gain for both, once both are
// measured); in shuffle each untagged track gets its own gain, and the two,
// 10 LU apart, play at one level.
TEST_F(MeasuredGainTest, SmartModeTakesTheAlbumGainInOrderAndTrackGainInShuffle) {
    Add(Noise("soft.wav", -30), "Album");
    Add(Noise("hard.wav", -20), "album ");  // one album for the tags' usual slips
    Control->SetReplayGain({TReplayGainMode::Off, 0});
    List.Select(0);
    Control->Play();
    Control->Stop();
    EXPECT_EQ(Control->MeasuredGain().Service(), nullptr);

    Control->SetReplayGain({TReplayGainMode::Smart, 0});
    std::vector<double> levels = PlayAll(2);
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_NEAR(levels[1] - levels[0], 10, 0.5);
    EXPECT_GT(levels[1], -20 + 0.5) << "the album gain lifts both";

    Control->SetShuffle(true);  // both rows once, row 0 first
    levels = PlayAll(2);        // known by now: nothing more measured
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_NEAR(levels[1], levels[0], 0.5);
    EXPECT_NEAR(levels[0], -18, 0.5);
}

}  // namespace
}  // namespace quillet
