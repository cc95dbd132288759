// The output's one gain: the sample multiply, the choice of a file's gain,
// and what the simulated device plays when tracks with different gains are
// joined, sought in and played under a volume.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <thread>

#include "ACS_DXAudio.h"
#include "gain.h"
#include "simulated_device.h"
#include "synthetic.h"

using namespace quillet;
using namespace quillet::test;
using namespace std::chrono_literals;

namespace {

std::vector<int16_t> Samples16(const std::vector<uint8_t>& b) {
    std::vector<int16_t> s(b.size() / 2);
    std::memcpy(s.data(), b.data(), s.size() * 2);
    return s;
}

std::vector<uint8_t> Bytes16(const std::vector<int16_t>& s) {
    std::vector<uint8_t> b(s.size() * 2);
    std::memcpy(b.data(), s.data(), b.size());
    return b;
}

std::vector<uint8_t> Gained(std::vector<uint8_t> bytes, double gain) {
    ApplyGain(bytes.data(), bytes.size() / 2, 2, gain);
    return bytes;
}

TEST(Gain, ApplyGainRoundsAndSaturatesAtEveryWidth) {
    struct Case {
        const char* what;
        uint32_t width;
        std::vector<uint8_t> in;
        double gain;
        std::vector<uint8_t> out;
    };
    for (const Case& c : std::vector<Case>{
             {"8-bit is unsigned", 1, {0x00, 0x80, 0xFF, 0x90}, 0.5, {0x40, 0x80, 0xC0, 0x88}},
             {"8-bit saturates", 1, {0x00, 0xFF}, 4.0, {0x00, 0xFF}},
             {"16-bit halves", 2, {0x01, 0x80, 0xFF, 0x7F}, 0.5, {0x00, 0xC0, 0x00, 0x40}},
             {"16-bit saturates both ways",
              2,
              {0x00, 0xC0, 0x00, 0x40},
              3.0,
              {0x00, 0x80, 0xFF, 0x7F}},
             {"24-bit keeps its sign",
              3,
              {0x00, 0x00, 0x80, 0x02, 0x00, 0x00},
              0.5,
              {0x00, 0x00, 0xC0, 0x01, 0x00, 0x00}},
             {"24-bit saturates", 3, {0x00, 0x00, 0x60}, 2.0, {0xFF, 0xFF, 0x7F}},
             {"32-bit saturates", 4, {0x00, 0x00, 0x00, 0x80}, 1.5, {0x00, 0x00, 0x00, 0x80}},
             {"unity leaves the bytes alone", 2, {0x34, 0x12}, 1.0, {0x34, 0x12}},
         }) {
        std::vector<uint8_t> b = c.in;
        ApplyGain(b.data(), b.size() / c.width, c.width, c.gain);
        EXPECT_EQ(b, c.out) << c.what;
    }
}

TEST(Gain, TheFactorPicksTheGainAndRespectsThePeak) {
    const TGainInfo track{-6.0, 0.5}, album{+6.0, 0.9}, loud{+24.0, 0.0};
    struct Case {
        const char* what;
        TReplayGain gains;
        TReplayGainSetting setting;
        double factorDb;
    };
    using M = TReplayGainMode;
    for (const Case& c : std::vector<Case>{
             {"off ignores every gain", {track, album}, {M::Off, 5}, 0},
             {"track", {track, album}, {M::Track, 5}, -6},
             {"album, limited so the 0.9 peak lands at full scale",
              {track, album},
              {M::Album, 0},
              -20 * std::log10(0.9)},
             {"album falls back to the track gain", {track, {}}, {M::Album, 0}, -6},
             {"track falls back to the album gain", {{}, loud}, {M::Track, 0}, 24},
             {"no gain: the pre-amp", {}, {M::Track, -3}, -3},
             {"a pre-amp beyond 24 dB is clamped", {}, {M::Album, 60}, 24},
         }) {
        EXPECT_NEAR(20 * std::log10(ReplayGainFactor(c.gains, c.setting)), c.factorDb, 1e-9)
            << c.what;
    }
}

// Smart mode: the album gain only for a track that belongs to an album
// played in order, its first and last tracks included.
TEST(Gain, SmartModeTakesTheAlbumGainOnlyInsideAnAlbumPlayedInOrder) {
    using M = TReplayGainMode;
    struct Case {
        const char* what;
        TSmartPlace place;
        M mode;
    };
    for (const Case& c : std::vector<Case>{
             {"inside an album", {true, "Blue", "Blue", "Blue"}, M::Album},
             {"its first track", {true, "Blue", "Red", "Blue"}, M::Album},
             {"its last track, nothing after", {true, "Blue", "Blue", ""}, M::Album},
             {"tags differing in case and blanks", {true, " blue", "BLUE ", ""}, M::Album},
             {"shuffled", {false, "Blue", "Blue", "Blue"}, M::Track},
             {"a mixed list", {true, "Blue", "Red", "Green"}, M::Track},
             {"no album tag", {true, "", "", ""}, M::Track},
             {"a single track", {true, "Blue", "", ""}, M::Track},
         })
        EXPECT_EQ(SmartGainMode(c.place), c.mode) << c.what;
    EXPECT_EQ(ParseReplayGainMode("smart"), M::Smart);
    EXPECT_EQ(ReplayGainModeName(M::Smart), "smart");
}

// Serves given 16-bit stereo PCM, with the gains its tags would give.
class PcmSource : public SyntheticSource {
  public:
    PcmSource(std::vector<uint8_t> pcm, TReplayGain gains)
        : SyntheticSource({.frames = static_cast<int64_t>(pcm.size() / 4)}),
          Pcm(std::move(pcm)),
          Gains(gains) {}
    TReplayGain ReplayGain() override { return Gains; }

  protected:
    void ReadBlock(uint8_t*& Buffer, uint32_t& Bytes) override {
        const auto at = static_cast<size_t>(Pos);
        const size_t n = std::min<size_t>({Pcm.size() - std::min(at, Pcm.size()), Bytes, 4000});
        Block.assign(Pcm.begin() + static_cast<ptrdiff_t>(at),
                     Pcm.begin() + static_cast<ptrdiff_t>(at + n));
        Pos += static_cast<int64_t>(n);
        Buffer = Block.data();
        Bytes = static_cast<uint32_t>(n);
    }

  private:
    std::vector<uint8_t> Pcm;
    TReplayGain Gains;
};

// A sink on the simulated device that plays a list of sources joined.
struct Player {
    // Sources first: the sink goes before them, so none is freed while playing.
    std::vector<std::unique_ptr<PcmSource>> sources;
    std::shared_ptr<SimulatedSoundSystem> sys = std::make_shared<SimulatedSoundSystem>();
    Owned<TDXAudioOut> out = MakeOwned<TDXAudioOut>(nullptr, sys);
    size_t next = 1;
    int done = 0, errors = 0;

    Player() {
        out->SetPollingInterval(7);
        sys->SetOnSleep([this](uint32_t ms) { Sleep(ms); });
        out->SetOnDone([this](TComponent*) { ++done; });
        out->SetOnThreadException([this](TComponent*) { ++errors; });
        out->SetOnNeedNext([this](TComponent*) {
            out->QueueNext(next < sources.size() ? sources[next++].get() : nullptr);
        });
        out->SetOnTrackChange([this](TComponent*) { out->TakeHeardInput(); });
    }
    // Gives the main thread time to answer the chain, as a real clock does.
    void Sleep(uint32_t ms) {
        for (int i = 0; i < 2000 && out->AwaitingNext(); ++i) std::this_thread::sleep_for(1ms);
        sys->Advance(ms);
    }
    PcmSource& Add(std::vector<uint8_t> pcm, TReplayGain gains) {
        sources.push_back(std::make_unique<PcmSource>(std::move(pcm), gains));
        return *sources.back();
    }
    std::vector<uint8_t> Play() {
        out->SetInput(sources[0].get());
        out->Start();
        EXPECT_TRUE(PumpUntil([&] { return done == 1; }));
        EXPECT_EQ(errors, 0);
        std::lock_guard<std::mutex> g(sys->Ring()->Lock);
        return sys->Ring()->Played;
    }
};

// -6.02 dB is 0.500035, a full 16-bit sample's half plus 1.1: the tag that
// halves is written with four decimals.
TEST(Gain, MinusSixDecibelsHalvesWhatIsPlayed) {
    Player p;
    const std::vector<uint8_t> pcm = PatternBytes(0, 4 * 30000);
    p.Add(pcm, {TGainInfo{-6.0206, 0}, {}});
    const std::vector<int16_t> played = Samples16(p.Play());
    const std::vector<int16_t> source = Samples16(pcm);
    ASSERT_GE(played.size(), source.size());
    for (size_t i = 0; i < source.size(); ++i)
        ASSERT_NEAR(played[i], source[i] / 2.0, 1.0) << "sample " << i;
}

TEST(Gain, PlusSixDecibelsWithA09PeakReachesFullScaleWithoutClipping) {
    // A 441 Hz tone peaking at 0.9 of full scale.
    std::vector<int16_t> tone(2 * 44100);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<int16_t>(std::lround(
            0.9 * 32767 * std::sin(static_cast<double>(i / 2) * 2 * std::numbers::pi / 100)));
    Player p;
    p.Add(Bytes16(tone), {TGainInfo{+6.0, 0.9}, {}});
    const std::vector<int16_t> played = Samples16(p.Play());
    ASSERT_GE(played.size(), tone.size());
    int peak = 0;
    for (size_t i = 0; i < tone.size(); ++i) {
        peak = std::max(peak, std::abs(int{played[i]}));
        // Scaled by 1/0.9 throughout, not flattened at the top: no sample
        // was clipped.
        ASSERT_NEAR(played[i], tone[i] / 0.9, 1.0) << "sample " << i;
    }
    EXPECT_GE(peak, 32766);
}

// Each track's gain starts exactly at its first sample, and the volume and
// the gain are one multiply: -6.02 dB of volume and +6.02 dB of gain give
// back every sample, odd ones included (two passes would round twice).
TEST(Gain, JoinedTracksSwitchGainAtTheirFirstSampleInOneMultiplyWithTheVolume) {
    Player p;
    const std::vector<uint8_t> a = PatternBytes(0, 4 * 90001), b = PatternBytes(7, 4 * 700),
                               c = PatternBytes(3, 4 * 30000);
    p.Add(a, {TGainInfo{+6.02, 0}, {}});
    p.Add(b, {});
    p.Add(c, {TGainInfo{-12.0, 0}, TGainInfo{+3.0, 0}});
    p.out->SetReplayGain({TReplayGainMode::Track, -6.02});
    p.out->SetVolume(-602);
    const std::vector<uint8_t> played = p.Play();
    const double volume = VolumeFactor(-602);
    std::vector<uint8_t> expected = a;
    const std::vector<uint8_t> b2 =
        Gained(b, ReplayGainFactor({}, {TReplayGainMode::Track, -6.02}) * volume);
    const std::vector<uint8_t> c2 = Gained(c, std::pow(10, -12.0 / 20) * volume);
    expected.insert(expected.end(), b2.begin(), b2.end());
    expected.insert(expected.end(), c2.begin(), c2.end());
    ASSERT_GE(played.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), played.begin()));
}

// A seek made after the next track was handed over (its first sample not
// heard yet) lands in that track: what follows gets its gain, not the gain of
// the track whose end was dropped.
TEST(Gain, ASeekIntoTheHandedOverTrackPlaysItWithItsOwnGain) {
    Player p;
    // Noise, so that no stretch of the second track repeats elsewhere.
    std::vector<uint8_t> b(4 * 400000);
    uint32_t seed = 1;
    for (uint8_t& x : b) x = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
    p.Add(PatternBytes(0, 4 * 90000), {TGainInfo{-6.0, 0}, {}});
    PcmSource& second = p.Add(b, {TGainInfo{-20.0, 0}, {}});
    bool sought = false;
    p.sys->SetOnSleep([&](uint32_t ms) {
        if (!sought && p.out->TrackChangesPending() > 0) {
            sought = true;
            EXPECT_TRUE(second.GoToSample(300000));
        }
        p.Sleep(ms);
    });
    const std::vector<uint8_t> played = p.Play();
    ASSERT_TRUE(sought);
    const std::vector<uint8_t> head = Gained(PatternBytes(0, 4 * 20000), std::pow(10, -6.0 / 20));
    EXPECT_TRUE(std::equal(head.begin(), head.end(), played.begin()));
    const std::vector<uint8_t> tail =
        Gained({b.begin() + 4 * 300000, b.end()}, std::pow(10, -20.0 / 20));
    const auto at = std::search(played.begin(), played.end(), tail.begin(), tail.end());
    EXPECT_NE(at, played.end()) << "the second track from the seek, all at its own gain";
}

// A change of setting during a run is heard once the ring's queued sound
// has played, not only from the next track on.
TEST(Gain, ASettingChangedDuringARunTakesEffectInIt) {
    Player p;
    std::vector<uint8_t> pcm(4 * 400000);
    uint32_t seed = 1;
    for (uint8_t& x : pcm) x = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
    p.Add(pcm, {TGainInfo{-20.0, 0}, {}});
    p.out->SetReplayGain({TReplayGainMode::Off, 0});
    int sleeps = 0;
    p.sys->SetOnSleep([&](uint32_t ms) {
        if (++sleeps == 20) p.out->SetReplayGain({TReplayGainMode::Track, 0});
        p.Sleep(ms);
    });
    const std::vector<uint8_t> played = p.Play();
    ASSERT_GE(played.size(), pcm.size());
    const size_t head = 4 * 20000, tail = 4 * 100000;
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.begin() + head, played.begin()));
    const std::vector<uint8_t> gained =
        Gained({pcm.end() - tail, pcm.end()}, std::pow(10, -20.0 / 20));
    EXPECT_TRUE(std::equal(gained.begin(), gained.end(), played.begin() + (pcm.size() - tail)));
}

// A measurement that comes in while its track plays is heard within a
// polling interval and a ring's worth of sound at most, and ramps in: the
// level moves over the ramp's length in small steps, never at once.
TEST(Gain, AMeasurementArrivingDuringItsTrackRampsTheGainIn) {
    constexpr double kAmplitude = 16000;
    std::vector<int16_t> tone(2 * 44100 * 3);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<int16_t>(std::lround(
            kAmplitude * std::sin(static_cast<double>(i / 2) * 2 * std::numbers::pi / 100)));
    Player p;
    p.Add(Bytes16(tone), {});
    std::atomic<bool> ready{false};
    p.out->SetInputGainProvider([&](TAuInput&) {
        TInputGainInfo info;
        if (ready) info.Measured.Track = TGainInfo{-12.0, 0};
        return info;
    });
    int sleeps = 0;
    p.sys->SetOnSleep([&](uint32_t ms) {
        if (++sleeps == 60) {
            ready = true;
            p.out->RefreshInputGain();
        }
        p.Sleep(ms);
    });
    const std::vector<int16_t> played = Samples16(p.Play());
    ASSERT_GE(played.size(), tone.size());
    // The peak of each period of the tone (100 frames).
    std::vector<double> peaks;
    for (size_t at = 0; at + 200 <= tone.size(); at += 200) {
        int peak = 0;
        for (size_t i = at; i < at + 200; ++i) peak = std::max(peak, std::abs(int{played[i]}));
        peaks.push_back(peak);
    }
    const double low = kAmplitude * std::pow(10, -12.0 / 20);
    EXPECT_NEAR(peaks.front(), kAmplitude, 2);
    EXPECT_NEAR(peaks.back(), low, 2);
    const auto start =
        std::find_if(peaks.begin(), peaks.end(), [&](double v) { return v < kAmplitude - 2; });
    const auto end = std::find_if(start, peaks.end(), [&](double v) { return v < low + 2; });
    ASSERT_NE(end, peaks.end());
    const double rampMs = static_cast<double>(end - start) * 100 / 44.1;
    EXPECT_GE(rampMs, 0.8 * TDXAudioOut::kGainRampMs);
    EXPECT_LE(rampMs, 1.5 * TDXAudioOut::kGainRampMs);
    // No period falls by more than 1 dB (-12 dB at once would be a click).
    for (auto it = start; it != end; ++it)
        EXPECT_GE(*it / *(it - 1), std::pow(10, -1.0 / 20)) << "period " << it - peaks.begin();
}

}  // namespace
