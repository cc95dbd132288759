// WAV fixtures for the decoder and quillet-cli tests: our own writer for PCM,
// float and extensible files (with the chunk-level quirks the header walk must
// cope with), the reference tools for everything else, and a helper that
// drains a TWaveIn the way a sink does.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ACS_Wave.h"
#include "synthetic.h"

namespace quillet::test {

using Bytes = std::vector<uint8_t>;

inline void Append(Bytes& b, const void* p, size_t n) {
    const auto* c = static_cast<const uint8_t*>(p);
    b.insert(b.end(), c, c + n);
}
inline void Append16(Bytes& b, uint16_t v) {
    Append(b, &v, 2);
}
inline void Append32(Bytes& b, uint32_t v) {
    Append(b, &v, 4);
}
inline void AppendId(Bytes& b, const char* id) {
    Append(b, id, 4);
}

inline Bytes Chunk(const char* id, const Bytes& body) {
    Bytes b;
    AppendId(b, id);
    Append32(b, static_cast<uint32_t>(body.size()));
    Append(b, body.data(), body.size());
    return b;
}

// The "fmt " body: WAVEFORMATEX with `extra` after the 18 bytes (or the bare
// 16-byte record when `plain16`).
inline Bytes FormatBody(uint16_t tag, uint16_t ch, uint32_t rate, uint16_t bits, uint16_t align,
                        const Bytes& extra = {}, bool plain16 = false) {
    Bytes b;
    Append16(b, tag);
    Append16(b, ch);
    Append32(b, rate);
    Append32(b, rate * align);
    Append16(b, align);
    Append16(b, bits);
    if (plain16) return b;
    Append16(b, static_cast<uint16_t>(extra.size()));
    Append(b, extra.data(), extra.size());
    return b;
}

// The extensible tail: valid bits, channel mask, sub-format GUID.
inline Bytes ExtensibleExtra(uint16_t validBits, bool isFloat) {
    Bytes e;
    Append16(e, validBits);
    Append32(e, 0);
    const uint8_t guid[16] = {
        uint8_t(isFloat ? 3 : 1), 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    Append(e, guid, 16);
    return e;
}

// RIFF + WAVE + the given chunks in order (sizes as given).
inline Bytes Riff(const std::vector<Bytes>& chunks, const char* riff = "RIFF",
                  const char* wave = "WAVE") {
    Bytes b;
    AppendId(b, riff);
    size_t size = 4;
    for (const auto& c : chunks) size += c.size();
    Append32(b, static_cast<uint32_t>(size));
    AppendId(b, wave);
    for (const auto& c : chunks) Append(b, c.data(), c.size());
    return b;
}

inline Bytes PcmWav(uint16_t ch, uint32_t rate, uint16_t bits, const Bytes& payload,
                    uint16_t tag = 1) {
    const uint16_t align = static_cast<uint16_t>(ch * bits / 8);
    return Riff({Chunk("fmt ", FormatBody(tag, ch, rate, bits, align, {}, tag == 1)),
                 Chunk("data", payload)});
}

inline Bytes ExtensibleWav(uint16_t ch, uint32_t rate, uint16_t bits, bool isFloat,
                           const Bytes& payload) {
    const uint16_t align = static_cast<uint16_t>(ch * bits / 8);
    return Riff(
        {Chunk("fmt ", FormatBody(0xFFFE, ch, rate, bits, align, ExtensibleExtra(bits, isFloat))),
         Chunk("data", payload)});
}

// Deterministic noise, so every byte matters.
inline Bytes NoiseBytes(size_t n, uint32_t seed = 12345) {
    Bytes b(n);
    for (auto& x : b) {
        seed = seed * 1103515245u + 12345u;
        x = static_cast<uint8_t>(seed >> 16);
    }
    return b;
}

inline std::string TmpRoot() {
    const char* base = std::getenv("QUILLET_TEST_TMP");
    auto dir = std::filesystem::path(base ? base : "/tmp") / "decoders";
    std::filesystem::create_directories(dir);
    return dir.string();
}

inline void WriteFile(const std::string& path, const Bytes& b) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs a shell command; true on exit status 0.
inline bool Shell(const std::string& cmd) {
    return std::system((cmd + " 2>/dev/null").c_str()) == 0;
}

// Decodes every file with ffmpeg in one run (its start-up is slow) to
// "<file>.raw" in the given raw sample format.
inline bool FfmpegToRaw(const std::vector<std::string>& files, const std::string& format,
                        const std::vector<std::string>& formats = {}) {
    std::string cmd = "ffmpeg -v error -y";
    for (const auto& f : files) cmd += " -i " + f;
    for (size_t i = 0; i < files.size(); ++i)
        cmd += " -map " + std::to_string(i) + ":a -f " + (formats.empty() ? format : formats[i]) +
               " " + files[i] + ".raw";
    return Shell(cmd);
}

// Drains a source as a sink would, asking for `request` bytes per block.
inline Bytes DecodeAll(TAuInput& in, uint32_t request = 1u << 20) {
    return DrainRun(in, request);
}

inline Bytes DecodeFile(const std::string& path) {
    TWaveIn in;
    in.SetFileName(path);
    return DecodeAll(in);
}

inline std::vector<int16_t> AsInt16(const Bytes& b) {
    std::vector<int16_t> v(b.size() / 2);
    std::memcpy(v.data(), b.data(), v.size() * 2);
    return v;
}

}  // namespace quillet::test
