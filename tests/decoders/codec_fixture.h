// Helpers shared by the Vorbis and Musepack tests: a per-test folder under
// QUILLET_TEST_TMP, shell runs of the reference tools, file bytes, and a drain
// that reads an input the way a sink does (in requests of a given size).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ACS_Classes.h"

namespace quillet::test {

using ByteVec = std::vector<uint8_t>;

// A fresh folder for this test binary's fixtures.
inline std::string FixtureDir(const std::string& name) {
    const char* base = std::getenv("QUILLET_TEST_TMP");
    std::filesystem::path dir = std::filesystem::path(base ? base : "/tmp") / name;
    std::filesystem::create_directories(dir);
    return dir.string();
}

inline bool Sh(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

inline ByteVec ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return ByteVec(std::istreambuf_iterator<char>(f), {});
}

inline void WriteAll(const std::string& path, const ByteVec& data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// Everything a run delivers, requested `chunk` bytes at a time.
inline ByteVec DrainRun(TAuInput& input, uint32_t chunk, size_t limit = SIZE_MAX) {
    ByteVec out;
    for (;;) {
        uint8_t* block = nullptr;
        uint32_t bytes = chunk;
        input.GetBlock(block, bytes);
        if (bytes == 0 || !block) break;
        EXPECT_LE(bytes, chunk);
        out.insert(out.end(), block, block + bytes);
        if (out.size() >= limit) break;
    }
    return out;
}

inline ByteVec Slice(const ByteVec& v, size_t from, size_t count) {
    if (from >= v.size()) return {};
    count = std::min(count, v.size() - from);
    return ByteVec(v.begin() + static_cast<std::ptrdiff_t>(from),
                   v.begin() + static_cast<std::ptrdiff_t>(from + count));
}

// The message of what `f` raises ("" when nothing).
template <class F>
std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

}  // namespace quillet::test
