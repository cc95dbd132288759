#include "paths.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>

#include "text.h"

namespace quillet {

std::string_view FileNamePart(std::string_view path) {
    const size_t p = path.find_last_of("/\\");
    return p == std::string_view::npos ? path : path.substr(p + 1);
}

bool NameLess(std::string_view a, std::string_view b) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            const size_t si = i, sj = j;
            while (i < a.size() && a[i] == '0') ++i;
            while (j < b.size() && b[j] == '0') ++j;
            const size_t ni = i, nj = j;
            while (i < a.size() && digit(a[i])) ++i;
            while (j < b.size() && digit(b[j])) ++j;
            const std::string_view x = a.substr(ni, i - ni), y = b.substr(nj, j - nj);
            if (x.size() != y.size()) return x.size() < y.size();
            if (x != y) return x < y;
            // "01" after "1": more leading zeros last.
            if (i - si != j - sj) return i - si < j - sj;
            continue;
        }
        // As unsigned bytes, like std::string: UTF-8 sorts after ASCII.
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[j]));
        if (ca != cb) return ca < cb;
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a < b;
}

std::string_view ExtractExtension(std::string_view path) {
    const std::string_view name = FileNamePart(path);
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view{} : name.substr(dot);
}

std::string ExtractFilePath(std::string_view path) {
    const size_t p = path.rfind('/');
    return p == std::string_view::npos ? std::string{} : std::string(path.substr(0, p + 1));
}

std::string ResolveEntryPath(std::string_view playlistFolder, std::string_view entry) {
    if (IsUrl(entry)) return std::string(entry);
    const bool drive =
        entry.size() >= 2 && entry[1] == ':' &&
        ((entry[0] >= 'A' && entry[0] <= 'Z') || (entry[0] >= 'a' && entry[0] <= 'z'));
    if (drive || (!entry.empty() && entry[0] == '/')) return std::string(entry);
    std::string out;
    out.reserve(playlistFolder.size() + 1 + entry.size());
    out = playlistFolder;
    if (!out.empty() && out.back() != '/') out += '/';
    const size_t from = out.size();
    out += entry;
    std::replace(out.begin() + static_cast<std::ptrdiff_t>(from), out.end(), '\\', '/');
    return out;
}

bool IsUrl(std::string_view path) {
    // One letter before ":" is a drive ("C://x" is a path written oddly).
    const size_t colon = path.find("://");
    if (colon == std::string_view::npos || colon < 2) return false;
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (!letter(path[0])) return false;
    for (char c : path.substr(1, colon - 1))
        if (!letter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
    return true;
}

bool IsStreamUrl(std::string_view path) {
    if (!IsUrl(path)) return false;
    const std::string_view scheme = path.substr(0, path.find(':'));
    for (std::string_view s : {"http", "https", "icy", "icyx"})
        if (SameTextAscii(scheme, s)) return true;
    return false;
}

std::string ProgramFolder() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    return ExtractFilePath(std::string_view(buf, static_cast<size_t>(n)));
}

namespace {

// The base directory rules: a relative or empty value is ignored.
std::string XdgFolder(const char* variable, const char* underHome) {
    const char* xdg = std::getenv(variable);
    std::string base;
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        base = std::string(home) + underHome;
    } else {
        return {};
    }
    if (base.back() != '/') base += '/';
    return base + "quillet/";
}

}  // namespace

std::string ConfigFolder() {
    return XdgFolder("XDG_CONFIG_HOME", "/.config");
}

std::string CacheFolder() {
    return XdgFolder("XDG_CACHE_HOME", "/.cache");
}

}  // namespace quillet
