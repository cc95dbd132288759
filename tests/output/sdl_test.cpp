// Real sound through SDL: SDL's disk driver writes what the device plays to a
// file, which must hold the source's PCM exactly (24-bit widened to 32-bit,
// as SDL takes it), between leading and trailing silence.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "ACS_DXAudio.h"
#include "lib_loader.h"
#include "sdl_device.h"
#include "synthetic.h"

using namespace quillet;
using namespace quillet::test;

namespace {

std::filesystem::path TempFile(const std::string& name) {
    const char* dir = std::getenv("QUILLET_TEST_TMP");
    std::filesystem::path p = dir ? dir : std::filesystem::temp_directory_path().string();
    p /= "output";
    std::filesystem::create_directories(p);
    return p / (name + "-" + std::to_string(::getpid()) + ".raw");
}

std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
    std::vector<uint8_t> data(std::filesystem::file_size(p));
    std::ifstream f(p, std::ios::binary);
    f.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return data;
}

struct Outcome {
    int done = 0, errors = 0;
    std::string lastError;
};

// Plays `src` to completion through the default SDL device.
Outcome PlayThroughSdl(TAuInput& src, int32_t volume = 0) {
    Outcome o;
    auto out = MakeOwned<TDXAudioOut>();
    // A 2 s ring drains for 2000 ms: the 0.3 s sources are heard in full even
    // when SDL's audio thread starts late on a loaded machine.
    out->SetFramesInBuffer(88200);
    out->SetPollingInterval(20);
    out->SetOnDone([&](TComponent*) { ++o.done; });
    out->SetOnThreadException([&](TComponent* s) {
        o.lastError = static_cast<TAuOutput*>(s)->LastError();
        ++o.errors;
    });
    out->SetVolume(volume);
    out->SetInput(&src);
    out->Start();
    EXPECT_TRUE(PumpUntil([&] { return o.done == 1; }));
    return o;
}

// The bytes SDL is given for a source's PCM.
std::vector<uint8_t> AsSdlGetsIt(const std::vector<uint8_t>& pcm, uint32_t bits, double gain) {
    std::vector<uint8_t> out;
    if (bits == 24) {
        for (size_t i = 0; i + 2 < pcm.size(); i += 3) {
            out.push_back(0);
            out.insert(out.end(), pcm.begin() + i, pcm.begin() + i + 3);
        }
    } else {
        out = pcm;
    }
    if (gain != 1.0 && bits == 16) {
        for (size_t i = 0; i + 1 < out.size(); i += 2) {
            int16_t s = static_cast<int16_t>(out[i] | out[i + 1] << 8);
            s = static_cast<int16_t>(std::lround(s * gain));
            out[i] = static_cast<uint8_t>(s);
            out[i + 1] = static_cast<uint8_t>(s >> 8);
        }
    }
    return out;
}

void ExpectBetweenSilence(const std::vector<uint8_t>& file, const std::vector<uint8_t>& expected,
                          size_t frame, uint8_t silence) {
    auto silent = [&](size_t at) {
        for (size_t k = 0; k < frame; ++k)
            if (file[at + k] != silence) return false;
        return true;
    };
    size_t start = 0;
    while (start + frame <= file.size() && silent(start)) start += frame;
    ASSERT_GE(file.size(), start + expected.size()) << "the file lacks part of the sound";
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + start))
        << "the sound differs from the source";
    EXPECT_TRUE(std::all_of(file.begin() + start + expected.size(), file.end(), [&](uint8_t b) {
        return b == silence;
    })) << "something other than silence follows the sound";
}

struct Format {
    uint32_t channels, bits;
};

class SdlDisk : public ::testing::TestWithParam<Format> {};

TEST_P(SdlDisk, FileHoldsExactlyTheSourcePcm) {
    const Format f = GetParam();
    const auto file = TempFile("disk-" + std::to_string(f.channels) + "x" + std::to_string(f.bits));
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    // 0.3 s: all of it goes into the first fill and is heard during the drain.
    SyntheticSource src({.channels = f.channels, .bits = f.bits, .rate = 44100, .frames = 13230});
    Outcome o = PlayThroughSdl(src);
    EXPECT_EQ(o.errors, 0) << o.lastError;
    const auto data = ReadAll(file);
    const uint32_t outBytes = f.bits == 24 ? 4 : f.bits / 8;
    ExpectBetweenSilence(data, AsSdlGetsIt(PatternBytes(0, src.TotalBytes()), f.bits, 1.0),
                         outBytes * f.channels, f.bits == 8 ? 0x80 : 0);
    std::filesystem::remove(file);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, SdlDisk, ::testing::Values(Format{1, 8}, Format{2, 16}, Format{2, 24}, Format{6, 32}),
    [](const auto& info) {
        return std::to_string(info.param.channels) + "ch" + std::to_string(info.param.bits) + "bit";
    });

TEST(Sdl, VolumeSetBeforeTheRunAttenuatesIt) {
    const auto file = TempFile("volume");
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    SyntheticSource src({.channels = 2, .bits = 16, .rate = 44100, .frames = 13230});
    Outcome o = PlayThroughSdl(src, -2000);  // -20 dB: a tenth
    EXPECT_EQ(o.errors, 0) << o.lastError;
    ExpectBetweenSilence(ReadAll(file),
                         AsSdlGetsIt(PatternBytes(0, src.TotalBytes()), 16, std::pow(10.0, -1.0)),
                         4, 0);
    std::filesystem::remove(file);
}

// The track's gain rides on the volume's multiply in SDL's copy.
TEST(Sdl, TrackGainAndVolumeAttenuateTogether) {
    struct Tagged : SyntheticSource {
        using SyntheticSource::SyntheticSource;
        TReplayGain ReplayGain() override { return {TGainInfo{-10.0, 0}, {}}; }
    };
    const auto file = TempFile("gain");
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    Tagged src({.channels = 2, .bits = 16, .rate = 44100, .frames = 13230});
    Outcome o = PlayThroughSdl(src, -1000);  // -10 dB and -10 dB: a tenth
    EXPECT_EQ(o.errors, 0) << o.lastError;
    ExpectBetweenSilence(ReadAll(file),
                         AsSdlGetsIt(PatternBytes(0, src.TotalBytes()), 16,
                                     std::pow(10.0, -0.5) * std::pow(10.0, -0.5)),
                         4, 0);
    std::filesystem::remove(file);
}

TEST(Sdl, UnknownDriverFailsToCreateTheDevice) {
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    SyntheticSource src({.frames = 1000});
    Outcome o = PlayThroughSdl(src);
    EXPECT_EQ(o.errors, 1);
    EXPECT_EQ(o.lastError, "Failed to create DirectSound device");
    EXPECT_FALSE(src.Active());
}

// SDL is loaded when a device is first listed or opened: without the
// library there is no sound device (the same clear error as without a
// driver, never a crash), and once it can be loaded sound plays again.
TEST(Sdl, WithoutTheLibraryThereIsNoSoundDevice) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    FailLibraryLoadForTesting("libSDL2-2.0.so.0", true);
    SdlSoundSystem sys;
    int listed = 0;
    sys.Enumerate([&](const TDeviceGuid&, const std::string&) { return ++listed, true; });
    EXPECT_EQ(listed, 1) << "only the default device";
    std::unique_ptr<SoundDevice> dev;
    EXPECT_EQ(sys.Open(TDeviceGuid{}, dev), DSERR_NODRIVER);
    SyntheticSource src({.frames = 1000});
    Outcome o = PlayThroughSdl(src);
    EXPECT_EQ(o.errors, 1);
    EXPECT_EQ(o.lastError, "Failed to create DirectSound device");

    FailLibraryLoadForTesting("libSDL2-2.0.so.0", false);
    SyntheticSource again({.frames = 1000});
    o = PlayThroughSdl(again);
    EXPECT_EQ(o.errors, 0) << o.lastError;
}

// SDL's devices plus one that has gone since the list was made.
class WithVanishedDevice : public SdlSoundSystem {
  public:
    TDSResult Enumerate(const TDeviceFound& Found) override {
        SdlSoundSystem::Enumerate(Found);
        Found(SdlDeviceId("unplugged headset"), "unplugged headset");
        return DS_OK;
    }
};

TEST(Sdl, DeviceIdThatMatchesNothingFailsToCreateTheDevice) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    auto out = MakeOwned<TDXAudioOut>(nullptr, std::make_shared<WithVanishedDevice>());
    ASSERT_GE(out->DeviceCount(), 2);
    EXPECT_EQ(out->DeviceList().Items[0].Guid, TDeviceGuid{});
    Outcome o;
    out->SetOnDone([&](TComponent*) { ++o.done; });
    out->SetOnThreadException([&](TComponent*) {
        o.lastError = out->LastError();
        ++o.errors;
    });
    out->SetDeviceNumber(out->DeviceCount() - 1);
    SyntheticSource src({.frames = 1000});
    out->SetInput(&src);
    out->Start();
    ASSERT_TRUE(PumpUntil([&] { return o.done == 1; }));
    EXPECT_EQ(o.errors, 1);
    EXPECT_EQ(o.lastError, "Failed to create DirectSound device");
}

TEST(Sdl, DeviceIdsAreStableDistinctAndNeverTheDefault) {
    EXPECT_EQ(SdlDeviceId("Speakers"), SdlDeviceId("Speakers"));
    EXPECT_NE(SdlDeviceId("Speakers"), SdlDeviceId("Speakers", 1));
    EXPECT_NE(SdlDeviceId("Speakers"), SdlDeviceId("Headphones"));
    EXPECT_NE(SdlDeviceId(""), TDeviceGuid{});
}

TEST(Sdl, RingRefusesFormatsItCannotPlay) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    SdlSoundSystem sys;
    std::unique_ptr<SoundDevice> dev;
    ASSERT_EQ(sys.Open(TDeviceGuid{}, dev), DS_OK);
    std::unique_ptr<SoundRing> ring;
    TWaveFormat f;
    f.Channels = 2;
    f.SamplesPerSec = 44100;
    f.BitsPerSample = 12;
    f.BlockAlign = 3;
    EXPECT_EQ(dev->CreateRing(f, 3000, ring), DSERR_BADFORMAT);
    f.BitsPerSample = 16;
    f.BlockAlign = 4;
    EXPECT_EQ(dev->CreateRing(f, 3001, ring), DSERR_INVALIDPARAM);
    f.Channels = 9;
    f.BlockAlign = 18;
    EXPECT_EQ(dev->CreateRing(f, 1800, ring), DSERR_BADFORMAT);
    EXPECT_FALSE(ring);
}

}  // namespace
