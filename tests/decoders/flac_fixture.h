// FLAC fixtures for the decoder tests: WAV files written by the test, encoded
// with `flac`, and the reference PCM that `flac -d` makes of them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "ACS_FLAC.h"
#include "synthetic.h"

namespace quillet::test::flac_fixture {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

inline fs::path TmpDir() {
    const char* env = std::getenv("QUILLET_TEST_TMP");
    fs::path dir = fs::path(env && *env ? env : "/tmp") / "flac";
    fs::create_directories(dir);
    return dir;
}

inline void RunTool(const std::string& cmd) {
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

inline Bytes ReadFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

inline void WriteFile(const fs::path& p, const Bytes& b) {
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline void Put(Bytes& b, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A WAV of `bits` valid bits per sample in whole-byte containers, the values
// at the top of the container (extensible when that is not plain PCM).
inline Bytes MakeWav(uint32_t channels, uint32_t bits, uint32_t rate,
                     const std::vector<int32_t>& samples) {
    const uint32_t width = (bits + 7) / 8;
    const bool extensible = channels > 2 || bits % 8 != 0 || bits > 16;
    Bytes data;
    for (int32_t s : samples) {
        const uint32_t v = static_cast<uint32_t>(s) << (width * 8 - bits);
        Put(data, width == 1 ? v + 128 : v, static_cast<int>(width));
    }
    Bytes fmt;
    Put(fmt, extensible ? 0xFFFE : 1, 2);
    Put(fmt, channels, 2);
    Put(fmt, rate, 4);
    Put(fmt, rate * channels * width, 4);
    Put(fmt, channels * width, 2);
    Put(fmt, width * 8, 2);
    if (extensible) {
        Put(fmt, 22, 2);
        Put(fmt, bits, 2);
        Put(fmt, (1u << channels) - 1, 4);
        const uint8_t pcm[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
        fmt.insert(fmt.end(), pcm, pcm + 16);
    }
    Bytes w = {'R', 'I', 'F', 'F'};
    Put(w, static_cast<uint32_t>(4 + 8 + fmt.size() + 8 + data.size()), 4);
    w.insert(w.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put(w, static_cast<uint32_t>(fmt.size()), 4);
    w.insert(w.end(), fmt.begin(), fmt.end());
    w.insert(w.end(), {'d', 'a', 't', 'a'});
    Put(w, static_cast<uint32_t>(data.size()), 4);
    w.insert(w.end(), data.begin(), data.end());
    return w;
}

// Tones plus noise, a different mix per channel, near full scale.
inline std::vector<int32_t> Signal(uint32_t channels, uint32_t bits, int64_t frames) {
    std::vector<int32_t> s;
    s.reserve(static_cast<size_t>(frames * channels));
    const double peak = std::ldexp(1.0, static_cast<int>(bits) - 1) - 1;
    uint32_t seed = 12345;
    for (int64_t i = 0; i < frames; ++i) {
        for (uint32_t ch = 0; ch < channels; ++ch) {
            seed = seed * 1664525u + 1013904223u;
            const double noise = (static_cast<double>(seed >> 8) / 16777216.0 - 0.5) * 0.2;
            const double tone = 0.7 * std::sin(static_cast<double>(i) * (0.01 + 0.013 * ch));
            s.push_back(static_cast<int32_t>(std::lround((tone + noise) * peak)));
        }
    }
    return s;
}

// The PCM of the "data" chunk of a WAV written by `flac -d`.
inline Bytes WavData(const Bytes& w) {
    size_t pos = 12;
    while (pos + 8 <= w.size()) {
        uint32_t size;
        std::memcpy(&size, &w[pos + 4], 4);
        if (std::memcmp(&w[pos], "data", 4) == 0)
            return Bytes(
                w.begin() + static_cast<std::ptrdiff_t>(pos + 8),
                w.begin() + static_cast<std::ptrdiff_t>(std::min(w.size(), pos + 8 + size)));
        pos += 8 + size + (size & 1);
    }
    ADD_FAILURE() << "no data chunk";
    return {};
}

struct Fixture {
    std::string path;
    Bytes reference;  // what `flac -d` decodes
    uint32_t frameBytes = 0;
};

// Encodes a fixture once per process: `flacArgs` go to the encoder.
inline const Fixture& MakeFlac(const std::string& name, uint32_t channels, uint32_t bits,
                               uint32_t rate, int64_t frames, const std::string& flacArgs = "") {
    static std::map<std::string, Fixture> cache;
    if (auto it = cache.find(name); it != cache.end()) return it->second;
    const fs::path dir = TmpDir();
    const fs::path wav = dir / (name + ".wav"), flac = dir / (name + ".flac"),
                   ref = dir / (name + ".ref.wav");
    WriteFile(wav, MakeWav(channels, bits, rate, Signal(channels, bits, frames)));
    Fixture f;
    f.path = flac.string();
    f.frameBytes = channels * ((bits + 7) / 8);
    std::system(("flac -s -f " + flacArgs + " -o '" + f.path + "' '" + wav.string() + "'").c_str());
    std::system(("flac -s -d -f -o '" + ref.string() + "' '" + f.path + "'").c_str());
    f.reference = WavData(ReadFile(ref));
    return cache[name] = f;
}

inline const Fixture& Stereo16() {
    return MakeFlac("stereo16", 2, 16, 44100, 30000);
}

// Drains a run the way `quillet-cli decode` does, in requests of `chunk`.
inline Bytes DecodeAll(TFLACIn& in, uint32_t chunk = 1 << 20) {
    return DrainRun(in, chunk);
}

inline Bytes ReadBytes(TFLACIn& in, size_t count, uint32_t chunk = 3000) {
    Bytes out;
    while (out.size() < count) {
        uint8_t* block = nullptr;
        uint32_t bytes = std::min<uint32_t>(chunk, static_cast<uint32_t>(count - out.size()));
        in.GetBlock(block, bytes);
        if (bytes == 0 || !block) break;
        out.insert(out.end(), block, block + bytes);
    }
    return out;
}

inline Bytes Slice(const Bytes& b, int64_t from, int64_t count) {
    from = std::min<int64_t>(from, static_cast<int64_t>(b.size()));
    count = std::min<int64_t>(count, static_cast<int64_t>(b.size()) - from);
    return Bytes(b.begin() + from, b.begin() + from + count);
}

}  // namespace quillet::test::flac_fixture
