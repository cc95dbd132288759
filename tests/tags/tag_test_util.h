// Helpers for the tag tests: temporary files, byte building, tools.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace quillet::test {

using Bytes = std::vector<uint8_t>;

// A fresh folder for the running test, under QUILLET_TEST_TMP.
inline std::filesystem::path TestDir() {
    const char* base = std::getenv("QUILLET_TEST_TMP");
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::path dir = std::filesystem::path(base ? base : "/tmp") / "tags" /
                                (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// Replaces the file (ext4 flushes a file truncated and rewritten in place on
// close, which would slow the tests down for nothing).
inline void WriteBytes(const std::filesystem::path& p, const Bytes& b) {
    std::filesystem::remove(p);
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
}

inline Bytes ReadBytes(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

inline void Append(Bytes& b, std::string_view s) {
    b.insert(b.end(), s.begin(), s.end());
}
inline void Append(Bytes& b, const Bytes& s) {
    b.insert(b.end(), s.begin(), s.end());
}
inline void AppendLE32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void AppendBE(Bytes& b, uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Stand-in audio: bytes that no tag reader mistakes for a tag.
inline Bytes Audio(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(0x80 + (i * 7) % 61);
    return b;
}

// An open descriptor that closes itself.
struct Fd {
    int fd;
    Fd(const std::filesystem::path& p, int flags) : fd(::open(p.c_str(), flags)) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    operator int() const { return fd; }
};

// Runs a shell command; returns its standard output (exit status in `status`).
inline std::string Shell(const std::string& cmd, int* status = nullptr) {
    std::string out;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int rc = ::pclose(p);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

inline bool HaveTool(const std::string& name) {
    int status = 1;
    Shell("command -v " + name + " >/dev/null 2>&1", &status);
    return status == 0;
}

}  // namespace quillet::test
