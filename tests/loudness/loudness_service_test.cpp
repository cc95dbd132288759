// The background service with a fake meter (order, cancelling, the cache
// file shared between runs, bad cache files), and measured gains played on
// the simulated device with the real meter: what the device received,
// measured with libebur128.
#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <thread>

#include "ACS_DXAudio.h"
#include "content_sniff.h"
#include "input_table.h"
#include "loud_noise.h"
#include "loudness_service.h"
#include "simulated_device.h"
#include "synthetic.h"
#include "wave_fixture.h"

namespace quillet {
namespace {

using namespace quillet::test;
using namespace std::chrono_literals;

std::string Dir() {
    const std::string dir = TmpRoot() + "/service";
    std::filesystem::create_directories(dir);
    return dir;
}

// Stands in for the meter: records what it measured, can hold a measurement
// until released, fails for paths with "bad" in them.
struct FakeMeter {
    std::mutex Lock;
    std::condition_variable Changed;
    std::vector<std::string> Measured;  // in order
    bool Hold = false;
    bool Holding = false;

    TLoudnessMeasure Fn() {
        return [this](const std::string& path, const std::atomic<bool>& cancel) {
            std::unique_lock<std::mutex> g(Lock);
            Measured.push_back(path);
            Holding = true;
            Changed.notify_all();
            while (Hold && !cancel) Changed.wait_for(g, 1ms);
            Holding = false;
            if (cancel) throw EAuException(kMeasureCancelled);
            if (path.find("bad") != std::string::npos) throw EAuException("undecodable");
            // Ten blocks of -19.95 LUFS (the middle of their step).
            return TCachedLoudness{-19.95, 0.5, {{{500, 10}}}};
        };
    }
    void Release() {
        std::lock_guard<std::mutex> g(Lock);
        Hold = false;
    }
    bool WaitHolding() {
        std::unique_lock<std::mutex> g(Lock);
        return Changed.wait_for(g, 20s, [&] { return Holding; });
    }
};

std::string Touch(const std::string& name) {
    const std::string f = Dir() + "/" + name;
    WriteFile(f, Bytes(16, 1));
    return f;
}

TEST(LoudnessService, MeasuresTheLatestRequestFirstAndCancels) {
    FakeMeter meter;
    meter.Hold = true;
    const std::string a = Touch("a.wav"), b = Touch("b.wav"), c = Touch("c.wav");
    std::mutex doneLock;
    std::vector<std::pair<std::string, bool>> done;
    TLoudnessService service({.CacheFile = "", .Measure = meter.Fn()});
    service.SetOnDone([&](const std::string& p, bool ok) {
        std::lock_guard<std::mutex> g(doneLock);
        done.push_back({p, ok});
    });
    service.Request(a);
    ASSERT_TRUE(meter.WaitHolding());
    service.Request(b);
    service.Request(c);
    service.Request(b);  // asked again: first
    service.Cancel(a);   // stops the measurement under way
    meter.Release();
    service.WaitIdle();
    EXPECT_EQ(meter.Measured, (std::vector<std::string>{a, b, c}));
    EXPECT_EQ(done, (std::vector<std::pair<std::string, bool>>{{b, true}, {c, true}}));
    EXPECT_FALSE(service.Lookup(a).Track);
    ASSERT_TRUE(service.Lookup(b).Track);
    EXPECT_NEAR(service.Lookup(b).Track->GainDb, 1.95, 1e-9);
    EXPECT_EQ(service.Lookup(b).Track->Peak, 0.5);
}

// A file measured once is never measured again: not in this run, not in the
// next one (the cache file), unless it changed.
TEST(LoudnessService, ACacheHitMeasuresNothingAndAChangedFileIsMeasuredAgain) {
    const std::string cache = Dir() + "/hit/loudness.txt", f = Touch("hit.wav");
    FakeMeter meter;
    {
        TLoudnessService service({.CacheFile = cache, .Measure = meter.Fn()});
        service.Request(f);
        service.WaitIdle();
        service.Request(f);
        service.WaitIdle();
        EXPECT_EQ(service.Measured(), 1u);
    }
    {
        TLoudnessService service({.CacheFile = cache, .Measure = meter.Fn()});
        service.WaitIdle();
        EXPECT_TRUE(service.Lookup(f).Track);  // from the file, before any request
        service.Request(f);
        service.WaitIdle();
        EXPECT_EQ(service.Measured(), 0u);
        WriteFile(f, Bytes(17, 1));  // another size: another file
        EXPECT_FALSE(service.Lookup(f).Track);
        service.Request(f);
        service.WaitIdle();
        EXPECT_EQ(service.Measured(), 1u);
    }
    EXPECT_EQ(meter.Measured.size(), 2u);
}

// The album gain comes once every track of the album is measured; a file
// that cannot be measured is tried once and has no gain.
TEST(LoudnessService, AlbumGainOnceEveryTrackIsMeasured) {
    FakeMeter meter;
    const std::vector<std::string> album = {Touch("t1.wav"), Touch("t2.wav"), Touch("t3.wav")};
    const std::string bad = Touch("bad.wav");
    std::atomic<int> failures{0};
    TLoudnessService service({.CacheFile = "", .Measure = meter.Fn()});
    service.SetOnDone([&](const std::string&, bool ok) { failures += !ok; });
    service.Request(album[0]);
    service.Request(album[1]);
    service.WaitIdle();
    EXPECT_TRUE(service.Lookup(album[0], album).Track);
    EXPECT_FALSE(service.Lookup(album[0], album).Album);
    service.Request(album[2]);
    service.Request(bad);
    service.WaitIdle();
    service.Request(bad);  // known bad: not measured again
    service.WaitIdle();
    const TReplayGain g = service.Lookup(album[1], album);
    ASSERT_TRUE(g.Album);
    EXPECT_NEAR(g.Album->GainDb, g.Track->GainDb, 1e-9);  // three equal tracks
    EXPECT_EQ(service.Lookup(bad), TReplayGain{});
    EXPECT_EQ(failures, 2);
    EXPECT_EQ(std::count(meter.Measured.begin(), meter.Measured.end(), bad), 1);
    // A path that is not a regular file, or no file at all.
    service.Request(Dir());
    service.Request(Dir() + "/missing.wav");
    service.WaitIdle();
    EXPECT_EQ(failures, 4);
    EXPECT_EQ(service.Lookup(Dir()), TReplayGain{});
}

// --- Measured gains on the simulated device.

// `seconds` of noise (or a tone) at about `lufs`.
std::string Noise(const std::string& name, double lufs, double seconds = 3) {
    return LoudNoise(Dir() + "/" + name, lufs, seconds);
}

// Plays files joined on the simulated device, each at what the provider
// says; returns each file's share of what the device received.
struct MeasuredPlayer {
    std::vector<std::string> files;
    std::vector<Owned<TAuFileIn>> inputs;
    std::shared_ptr<SimulatedSoundSystem> sys = std::make_shared<SimulatedSoundSystem>();
    Owned<TDXAudioOut> out = MakeOwned<TDXAudioOut>(nullptr, sys);
    size_t next = 1;
    int done = 0;

    explicit MeasuredPlayer(std::vector<std::string> f) : files(std::move(f)) {
        for (const std::string& path : files) {
            inputs.emplace_back(CreateInput(*InputKindFor(path), nullptr));
            inputs.back()->SetFileName(path);
        }
        out->SetPollingInterval(7);
        sys->SetOnSleep([this](uint32_t ms) {
            for (int i = 0; i < 2000 && out->AwaitingNext(); ++i) std::this_thread::sleep_for(1ms);
            sys->Advance(ms);
        });
        out->SetOnDone([this](TComponent*) { ++done; });
        out->SetOnNeedNext([this](TComponent*) {
            out->QueueNext(next < inputs.size() ? inputs[next++].get() : nullptr);
        });
        out->SetOnTrackChange([this](TComponent*) { out->TakeHeardInput(); });
    }
    size_t IndexOf(TAuInput& in) const {
        for (size_t i = 0; i < inputs.size(); ++i)
            if (inputs[i].get() == &in) return i;
        return 0;
    }
    // Each file's part of what was played.
    std::vector<Bytes> Play() {
        out->SetInput(inputs[0].get());
        out->Start();
        EXPECT_TRUE(PumpUntil([&] { return done == 1; }));
        std::vector<uint8_t> played;
        {
            std::lock_guard<std::mutex> g(sys->Ring()->Lock);
            played = sys->Ring()->Played;
        }
        std::vector<Bytes> parts;
        size_t at = 0;
        for (auto& in : inputs) {
            const size_t bytes = static_cast<size_t>(in->GetSampleCount()) * 4;
            EXPECT_LE(at + bytes, played.size());
            if (at + bytes > played.size()) break;
            parts.emplace_back(played.begin() + static_cast<ptrdiff_t>(at),
                               played.begin() + static_cast<ptrdiff_t>(at + bytes));
            at += bytes;
        }
        return parts;
    }
};

double Loudness(const Bytes& pcm) {
    return LoudnessOf(pcm.data(), pcm.size());
}

// Two untagged files 20 LU apart play within half a LU of each other (both
// measured before they play); a tagged one keeps its tags' gain; a file
// below the absolute gate (-inf) plays at the gain for untagged files.
TEST(MeasuredGain, UntaggedFilesPlayAtOneLevelAndTaggedOnesByTheirTags) {
    ASSERT_TRUE(Ebur128Lib().Load());
    const std::string quiet = Noise("quiet.wav", -30), loud = Noise("loud.wav", -10);
    const std::string tagged = Dir() + "/tagged.flac", source = Noise("tagged.wav", -10);
    ASSERT_TRUE(
        Shell("flac -s -f --tag='REPLAYGAIN_TRACK_GAIN=-3.00 dB' -o " + tagged + " " + source));
    const std::string gated = Noise("gated.wav", -75);
    const std::string garbage = Dir() + "/garbage.flac";
    WriteFile(garbage, NoiseBytes(20000));
    WriteFile(Dir() + "/corrupt.txt", NoiseBytes(3000));
    TLoudnessService service({.CacheFile = Dir() + "/corrupt.txt"});
    for (const std::string& f : {quiet, loud, tagged, gated, garbage}) service.Request(f);
    service.WaitIdle();
    EXPECT_EQ(service.Measured(), 3u);  // not the tagged file, nor the garbage
    EXPECT_EQ(service.Lookup(garbage), TReplayGain{});

    MeasuredPlayer p({quiet, loud, tagged, gated});
    p.out->SetReplayGain({TReplayGainMode::Track, -6});
    p.out->SetInputGainProvider(
        [&](TAuInput& in) { return TInputGainInfo{service.Lookup(p.files[p.IndexOf(in)])}; });
    const std::vector<Bytes> parts = p.Play();
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_NEAR(Loudness(parts[0]), -18, 0.5);
    EXPECT_NEAR(Loudness(parts[1]), Loudness(parts[0]), 0.5);
    EXPECT_NEAR(Loudness(parts[2]), Loudness(DecodeFile(source)) - 3, 0.05);
    Bytes pre = DecodeFile(gated);
    ApplyGain(pre.data(), pre.size() / 2, 2, std::pow(10, -6.0 / 20));
    EXPECT_TRUE(parts[3] == pre);
}

// Smart mode: an album in order keeps its tracks' difference (the album's
// gain for both); in shuffle each track gets its own.
TEST(MeasuredGain, SmartModePlaysAnAlbumInOrderByItsAlbumGain) {
    ASSERT_TRUE(Ebur128Lib().Load());
    const std::vector<std::string> album = {Noise("soft.wav", -30, 2), Noise("hard.wav", -20, 2)};
    TLoudnessService service({.CacheFile = ""});
    for (const std::string& f : album) service.Request(f);
    service.WaitIdle();
    for (const bool inOrder : {true, false}) {
        SCOPED_TRACE(inOrder ? "in order" : "shuffled");
        MeasuredPlayer p(album);
        p.out->SetReplayGain({TReplayGainMode::Smart, 0});
        p.out->SetInputGainProvider([&](TAuInput& in) {
            const size_t i = p.IndexOf(in);
            const TSmartPlace place{inOrder, "Album", i > 0 ? "Album" : "", i == 0 ? "Album" : ""};
            return TInputGainInfo{service.Lookup(p.files[i], album), SmartGainMode(place)};
        });
        const std::vector<Bytes> parts = p.Play();
        ASSERT_EQ(parts.size(), 2u);
        const double soft = Loudness(parts[0]), hard = Loudness(parts[1]);
        if (inOrder) {
            // The album's gain: the hard track as loud as it is, plus that.
            const TReplayGain g = service.Lookup(album[1], album);
            ASSERT_TRUE(g.Album);
            EXPECT_NEAR(hard, -18 - g.Track->GainDb + g.Album->GainDb, 0.1);
            EXPECT_NEAR(hard - soft, 10, 0.5);
        } else {
            EXPECT_NEAR(hard, soft, 0.5);
        }
    }
}

}  // namespace
}  // namespace quillet
