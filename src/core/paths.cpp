#include "paths.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace quillet {

std::string_view FileNamePart(std::string_view path) {
    const size_t p = path.find_last_of("/\\");
    return p == std::string_view::npos ? path : path.substr(p + 1);
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
