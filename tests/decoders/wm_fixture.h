// MP3 and WMA fixtures for the TWMIn tests, made by the reference tools (sox,
// lame, ffmpeg, mid3v2) on first use and kept in the test folder, with the
// reference decode of each (`ffmpeg -i F -f s16le -`).
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "ACS_Classes.h"
#include "synthetic.h"

namespace quillet::test::wm {

using Bytes = std::vector<uint8_t>;

inline void Append(Bytes& b, const void* p, size_t n) {
    const auto* c = static_cast<const uint8_t*>(p);
    b.insert(b.end(), c, c + n);
}

inline void WriteFile(const std::string& path, const Bytes& b) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Deterministic noise.
inline Bytes NoiseBytes(size_t n, uint32_t seed) {
    Bytes b(n);
    for (auto& x : b) {
        seed = seed * 1103515245u + 12345u;
        x = static_cast<uint8_t>(seed >> 16);
    }
    return b;
}

inline std::vector<int16_t> AsInt16(const Bytes& b) {
    std::vector<int16_t> v(b.size() / 2);
    std::memcpy(v.data(), b.data(), v.size() * 2);
    return v;
}

// Drains a source as a sink would, asking for `request` bytes per block.
inline Bytes DecodeAll(TAuInput& in, uint32_t request = 1u << 20) {
    return DrainRun(in, request);
}

inline bool Run(const std::string& cmd) {
    return std::system((cmd + " 2>/dev/null").c_str()) == 0;
}

inline std::string WmDir() {
    const char* base = std::getenv("QUILLET_TEST_TMP");
    const auto dir = std::filesystem::path(base ? base : "/tmp") / "decoders" / "wm";
    std::filesystem::create_directories(dir);
    return dir.string();
}

// The file `name` in the fixture folder, made by `cmd` (which writes to $OUT)
// when it is not there yet. Written under a private name and renamed, so
// tests running side by side never see half a file.
inline std::string Made(const std::string& name, const std::string& cmd) {
    const std::string path = WmDir() + "/" + name;
    if (std::filesystem::exists(path)) return path;
    const std::string tmp = path + ".tmp" + std::to_string(getpid());
    if (!Run("OUT='" + tmp + "'; " + cmd)) {
        std::filesystem::remove(tmp);
        return {};
    }
    std::filesystem::rename(tmp, path);
    return path;
}

// Three seconds of two tones and a little noise, so every sample differs.
inline std::string SourceWav(int rate, int channels) {
    const std::string name = "src" + std::to_string(rate) + "_" + std::to_string(channels) + ".wav";
    return Made(name,
                "sox -R -D -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) +
                    " -b 16 \"$OUT\".wav synth 3 sine 300-2000 sine 523 whitenoise vol 0.5 && mv "
                    "\"$OUT\".wav \"$OUT\"");
}

struct TWmFixture {
    const char* Name;
    int Rate;
    int Channels;
    const char* Encode;  // the encoder's command, reading $IN and writing $OUT
    bool Estimated;      // the length is only an estimate (no Xing/Info header; ASF)
};

// CBR, VBR with and without the Xing/LAME header, mono and stereo, three
// rates; WMA version 1 and 2.
inline const TWmFixture kWmFixtures[] = {
    {"cbr44s.mp3", 44100, 2, "lame --quiet -b 128 \"$IN\" \"$OUT\"", false},
    {"vbr44s.mp3", 44100, 2, "lame --quiet -V 2 \"$IN\" \"$OUT\"", false},
    {"vbrnox48s.mp3", 48000, 2, "lame --quiet -V 4 -t \"$IN\" \"$OUT\"", true},
    {"cbr22m.mp3", 22050, 1, "lame --quiet -b 48 -m m \"$IN\" \"$OUT\"",
     true},  // no Info frame fits
    {"vbr48m.mp3", 48000, 1, "lame --quiet -V 5 -m m \"$IN\" \"$OUT\"", false},
    {"v1_44s.wma", 44100, 2, "ffmpeg -v error -i \"$IN\" -c:a wmav1 -b:a 128k -f asf \"$OUT\"",
     true},
    {"v2_44s.wma", 44100, 2, "ffmpeg -v error -i \"$IN\" -c:a wmav2 -b:a 128k -f asf \"$OUT\"",
     true},
    {"v2_22m.wma", 22050, 1, "ffmpeg -v error -i \"$IN\" -c:a wmav2 -b:a 32k -f asf \"$OUT\"",
     true},
};

// Test names show the file.
inline void PrintTo(const TWmFixture& f, std::ostream* os) {
    *os << f.Name;
}

inline std::string MakeFixture(const TWmFixture& f) {
    const std::string in = SourceWav(f.Rate, f.Channels);
    if (in.empty()) return {};
    return Made(f.Name, "IN='" + in + "'; " + f.Encode);
}

// The reference decode of `path`: 16-bit PCM as ffmpeg gives it.
inline Bytes Reference(const std::string& path) {
    const std::string ref = Made(std::filesystem::path(path).filename().string() + ".s16",
                                 "ffmpeg -v error -i '" + path + "' -f s16le -y \"$OUT\"");
    return ReadFile(ref);
}

}  // namespace quillet::test::wm
