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

// A path quoted for a Python or shell command line made by a test.
inline std::string Q(const std::filesystem::path& p) {
    return "'" + p.string() + "'";
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
inline Bytes Join(Bytes a, const Bytes& b) {
    Append(a, b);
    return a;
}
inline void AppendLE32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void AppendBE(Bytes& b, uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

struct ApeItem {
    std::string key;
    std::string value;
    uint32_t flags = 0;
};

// An APEv2 tag (header-less, footer last) holding `items` in order.
inline Bytes ApeTag(const std::vector<ApeItem>& items, uint32_t version = 2000) {
    Bytes body;
    for (const auto& it : items) {
        AppendLE32(body, static_cast<uint32_t>(it.value.size()));
        AppendLE32(body, it.flags);
        Append(body, it.key);
        body.push_back(0);
        Append(body, it.value);
    }
    Bytes tag = body;
    Append(tag, "APETAGEX");
    AppendLE32(tag, version);
    AppendLE32(tag, static_cast<uint32_t>(body.size() + 32));
    AppendLE32(tag, static_cast<uint32_t>(items.size()));
    AppendLE32(tag, 0);
    tag.resize(tag.size() + 8, 0);
    return tag;
}

// An ID3v2 frame: 2.2's 6-byte header, or 2.3/2.4's 10 bytes with the size
// plain (2.3) or synchsafe (2.4) and `flags` as the format flag byte.
inline Bytes Frame(std::string_view id, const Bytes& payload, int version = 3, uint8_t flags = 0) {
    Bytes f;
    Append(f, id);
    if (version == 2) {
        AppendBE(f, static_cast<uint32_t>(payload.size()), 3);
    } else {
        uint32_t n = static_cast<uint32_t>(payload.size());
        if (version == 4) n = (n & 0x7F) | ((n & 0x3F80) << 1) | ((n & 0x1FC000) << 2);
        AppendBE(f, n, 4);
        f.push_back(0);
        f.push_back(flags);
    }
    Append(f, payload);
    return f;
}

// A text frame's payload: the encoding byte, then the bytes.
inline Bytes Text(uint8_t encoding, std::string_view bytes) {
    Bytes p{encoding};
    Append(p, bytes);
    return p;
}

// A whole ID3v2 tag around `frames` (a footer when flags has 0x10).
inline Bytes Tag(int version, uint8_t flags, const Bytes& frames, size_t padding = 0,
                 uint8_t revision = 0) {
    const uint32_t size = static_cast<uint32_t>(frames.size() + padding);
    Bytes t = {'I',
               'D',
               '3',
               static_cast<uint8_t>(version),
               revision,
               flags,
               static_cast<uint8_t>((size >> 21) & 0x7F),
               static_cast<uint8_t>((size >> 14) & 0x7F),
               static_cast<uint8_t>((size >> 7) & 0x7F),
               static_cast<uint8_t>(size & 0x7F)};
    Append(t, frames);
    t.resize(t.size() + padding, 0);
    if (flags & 0x10) {
        Bytes footer(t.begin(), t.begin() + 10);
        footer[0] = '3', footer[1] = 'D', footer[2] = 'I';
        Append(t, footer);
    }
    return t;
}

// ID3v2 unsynchronisation: a zero byte after every FF.
inline Bytes Unsync(const Bytes& b) {
    Bytes out;
    for (uint8_t c : b) {
        out.push_back(c);
        if (c == 0xFF) out.push_back(0);
    }
    return out;
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
