// The INI reader on arbitrary text, plus a write whose result must read back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ini.h"

namespace {
volatile size_t g_sink;

// A name or value the reader cannot misparse: letters and digits only.
std::string Plain(std::string_view s) {
    std::string out;
    for (char c : s.substr(0, 8)) out += "abcdefghijklmnopqrstuvwxyz0123456789"[uint8_t(c) % 36];
    return out.empty() ? "k" : out;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    quillet::TIniFile ini = quillet::TIniFile::FromText(text);
    size_t sum = 0;
    // Names drawn from the input's own bytes, so sections and keys that exist get hit.
    const std::string section = Plain(text.substr(0, 3));
    const std::string key = Plain(text.substr(size / 2, 4));
    for (const std::string& k : ini.Keys(section))
        sum += ini.ReadString(section, k, "d", 1 + size % 64).size();
    sum += ini.ReadString("lang", "Play", "Play", 2048).size() + ini.SectionExists(section);

    const std::string value = Plain(text.substr(size / 3, 6));
    ini.WriteString(section, key, value);
    ini.WriteString("playlist", "File1", value);
    if (ini.ReadString(section, key) != value) __builtin_trap();
    const std::string written = ini.Text();
    const quillet::TIniFile again = quillet::TIniFile::FromText(written);
    if (again.ReadString(section, key) != value || again.Text() != written) __builtin_trap();
    ini.DeleteKey(section, key);
    sum += ini.Text().size() + written.size();
    g_sink = sum;
    return 0;
}
