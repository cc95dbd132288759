// The sound stage in the sink, on the simulated device and on SDL's disk
// device: a crossfade overlaps exactly as long as chosen with equal-power
// curves, an unmarked join stays sample for sample, a flat equalizer is
// exact, and pause, resume and a seek fade instead of clicking.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "ACS_DXAudio.h"
#include "cut_recording.h"
#include "simulated_device.h"
#include "synthetic.h"

using namespace quillet;
using namespace quillet::test;
using namespace std::chrono_literals;

namespace {

// 16-bit stereo: a constant level (a tone of 0 Hz shows a curve exactly),
// or a sine.
class LevelSource : public SyntheticSource {
  public:
    LevelSource(int64_t frames, int16_t level, double hz = 0)
        : SyntheticSource({.frames = frames, .blockBytes = 4096}), Level(level), Hz(hz) {}
    int16_t Level;
    double Hz;

  protected:
    void ReadBlock(uint8_t*& Buffer, uint32_t& Bytes) override {
        const int64_t left = TotalBytes() - Pos;
        const auto n = static_cast<uint32_t>(
            std::max<int64_t>(0, std::min<int64_t>({left, int64_t{Bytes}, int64_t{F.blockBytes}})));
        Block.resize(n);
        for (uint32_t i = 0; i + 1 < n; i += 2) {
            const int64_t frame = (Pos + i) / 4;
            const auto v = static_cast<int16_t>(
                Hz == 0 ? Level : std::lround(Level * std::sin(2 * M_PI * Hz * frame / 44100.0)));
            std::memcpy(&Block[i], &v, 2);
        }
        Pos += n;
        Buffer = Block.data();
        Bytes = n;
    }
};

std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> v(bytes.size() / 2);
    std::memcpy(v.data(), bytes.data(), v.size() * 2);
    return v;
}

// Frames up to the last one that is not silent (the drain's silence cut).
std::vector<int16_t> Sound(std::vector<int16_t> v) {
    while (v.size() >= 2 && v[v.size() - 1] == 0 && v[v.size() - 2] == 0) v.resize(v.size() - 2);
    return v;
}

// Two tracks joined in one run, the second marked for a crossfade or not.
struct Pair {
    std::shared_ptr<SimulatedSoundSystem> sys = std::make_shared<SimulatedSoundSystem>();
    Owned<TDXAudioOut> out = MakeOwned<TDXAudioOut>(nullptr, sys);
    LevelSource a, b;
    int done = 0;
    Pair(int64_t frames, int16_t la, int16_t lb, bool crossfade) : a(frames, la), b(frames, lb) {
        out->SetPollingInterval(20);
        out->SetOnDone([this](TComponent*) { ++done; });
        out->SetOnNeedNext([this, crossfade](TComponent*) {
            TAuInput* next = out->Input() == &a ? &b : nullptr;
            out->SetCrossfadeInto(crossfade ? next : nullptr);
            out->QueueNext(next);
        });
        sys->SetOnSleep([this](uint32_t ms) {
            for (int i = 0; i < 2000 && out->AwaitingNext(); ++i) std::this_thread::sleep_for(1ms);
            sys->Advance(ms);
        });
    }
    std::vector<int16_t> Play() {
        out->SetInput(&a);
        out->Start();
        EXPECT_TRUE(PumpUntil([&] { return done == 1; }));
        std::lock_guard<std::mutex> g(sys->Ring()->Lock);
        return Samples(sys->Ring()->Played);
    }
};

void ExpectCrossfade(const std::vector<int16_t>& played, int64_t frames, int64_t overlap,
                     int16_t la, int16_t lb) {
    ASSERT_EQ(static_cast<int64_t>(played.size()), (2 * frames - overlap) * 2);
    const int64_t start = frames - overlap;
    for (int64_t f = 0; f < 2 * frames - overlap; f += 97) {
        double o = 1, i = 0;
        if (f >= start) TCrossfade::CurveAt(f - start, overlap, o, i);
        const double want = la * o + lb * i;
        ASSERT_NEAR(played[static_cast<size_t>(f * 2)], want, 1.0) << "frame " << f;
        ASSERT_EQ(played[static_cast<size_t>(f * 2)], played[static_cast<size_t>(f * 2 + 1)]);
    }
}

// Two 6 s tracks crossfaded by 2 s are heard in 10 s, the overlap on the
// equal-power curves; unmarked (an album in order), they join sample for
// sample in 12 s, and a flat equalizer that is on changes nothing.
TEST(Crossfade, OverlapsExactlyAsLongAsChosen) {
    const int64_t frames = 6 * 44100;
    {
        Pair p(frames, 8000, -12000, true);
        p.out->Dsp().Crossfade().Set({.Seconds = 2});
        ExpectCrossfade(Sound(p.Play()), frames, 2 * 44100, 8000, -12000);
        EXPECT_FALSE(p.a.Active());
        EXPECT_FALSE(p.b.Active());
    }
    {
        Pair p(frames, 8000, -12000, false);
        p.out->Dsp().Crossfade().Set({.Seconds = 2});
        p.out->Dsp().Equalizer().Set({.On = true});
        const std::vector<int16_t> played = Sound(p.Play());
        ASSERT_EQ(played.size(), static_cast<size_t>(frames * 4));
        EXPECT_TRUE(std::all_of(played.begin(), played.begin() + frames * 2,
                                [](int16_t s) { return s == 8000; }));
        EXPECT_TRUE(std::all_of(played.begin() + frames * 2, played.end(),
                                [](int16_t s) { return s == -12000; }));
    }
    {
        // A track shorter than twice the overlap fades over half of itself.
        Pair p(44100, 8000, 8000, true);
        p.out->Dsp().Crossfade().Set({.Seconds = 12});
        ExpectCrossfade(Sound(p.Play()), 44100, 22050, 8000, 8000);
    }
}

// The largest step from one sample to the next around a pause, a resume
// and a seek stays within what the sine itself has.
TEST(Crossfade, PauseResumeAndSeekFadeInsteadOfClicking) {
    auto sys = std::make_shared<SimulatedSoundSystem>();
    Owned<TDXAudioOut> out = MakeOwned<TDXAudioOut>(nullptr, sys);
    LevelSource sine(20 * 44100, 16000, 441);
    out->Dsp().Crossfade().Set({.Fades = true});
    out->SetPollingInterval(20);
    std::atomic<int> sleeps{0};
    sys->SetOnSleep([&](uint32_t ms) {
        ++sleeps;
        sys->Advance(ms);
        std::this_thread::sleep_for(1ms);
    });
    out->SetInput(&sine);
    out->Start();
    ASSERT_TRUE(PumpUntil([&] { return sleeps > 20; }));
    out->Pause();
    out->Resume();
    for (const int64_t target : {5 * 44100 + 37, 9 * 44100 + 63, 2 * 44100 + 12}) {
        const int before = sleeps;
        ASSERT_TRUE(PumpUntil([&] { return sleeps > before + 20; }));
        sine.GoToSample(target);  // another phase
    }
    const int before = sleeps;
    ASSERT_TRUE(PumpUntil([&] { return sleeps > before + 20; }));
    out->Stop(false);
    std::vector<int16_t> played;
    {
        std::lock_guard<std::mutex> g(sys->Ring()->Lock);
        played = Samples(sys->Ring()->Played);
    }
    ASSERT_GT(played.size(), 44100u * 2 * 2);  // about 2 s: the seeks among it
    double step = 0;
    size_t where = 0;
    for (size_t i = 2; i < played.size(); i += 2) {
        const double d = std::abs(static_cast<double>(played[i]) - played[i - 2]);
        if (d > step) where = i / 2;
        step = std::max(step, d);
    }
    EXPECT_LT(step, 16000 * 2 * M_PI * 441 / 44100 * 1.05) << "at frame " << where;
}

// On SDL's disk device: a 1 s crossfade of two 2 s tracks is 3 s of sound.
TEST(Crossfade, RecordedOnTheDiskDevice) {
    const char* tmp = std::getenv("QUILLET_TEST_TMP");
    const std::string file = std::string(tmp ? tmp : "/tmp") + "/crossfade-disk.raw";
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    ::setenv("SDL_DISKAUDIODELAY", DiskDriverDelayMs(), 1);
    Owned<TDXAudioOut> out = MakeOwned<TDXAudioOut>(nullptr);
    LevelSource a(2 * 44100, 6000), b(2 * 44100, 9000);
    int done = 0;
    out->SetFramesInBuffer(16384);
    out->SetPollingInterval(20);
    out->Dsp().Crossfade().Set({.Seconds = 1});
    out->SetOnDone([&](TComponent*) { ++done; });
    out->SetOnNeedNext([&](TComponent*) {
        TAuInput* next = out->Input() == &a ? &b : nullptr;
        out->SetCrossfadeInto(next);
        out->QueueNext(next);
    });
    out->SetInput(&a);
    out->Start();
    ASSERT_TRUE(PumpUntil([&] { return done == 1; }, 30s));
    out.reset();
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<int16_t> played = Sound(Samples(bytes));
    // The device starts with silence of its own before the first sample.
    size_t first = 0;
    while (first < played.size() && played[first] == 0) ++first;
    played.erase(played.begin(), played.begin() + static_cast<ptrdiff_t>(first));
    // And plays on while what it holds drains, after the last.
    while (!played.empty() && played.back() == 0) played.pop_back();
    ExpectCrossfade(played, 2 * 44100, 44100, 6000, 9000);
    std::filesystem::remove(file);
}

}  // namespace
