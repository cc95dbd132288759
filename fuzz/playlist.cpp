// Playlist detection and reading of arbitrary bytes under each extension, as
// Open playlist then stores the entries (addresses kept as written); and the file readers that look
// only at a file's start, against the lines of the whole text.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "PlayList.h"
#include "paths.h"
#include "text.h"
#include "textfile.h"

namespace {
volatile size_t g_sink;

constexpr std::string_view kNames[] = {"l.m3u", "l.bsl", "l.mpcpl", "l.lap",
                                       "l.pls", "l.asx", "l.txt",   "l"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view name = kNames[data[0] % std::size(kNames)];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::vector<std::string> lines = quillet::SplitTextLines(text);
    const std::string format = quillet::DetectPlaylistFormat(name, lines);
    std::vector<std::string> titles, paths;
    const bool known = quillet::ParsePlaylistLines(format, lines, titles, paths);
    if (titles.size() != paths.size() || (!known && !titles.empty())) __builtin_trap();
    size_t sum = format.size() + known;
    for (size_t i = 0; i < paths.size(); ++i) {
        const std::string title = quillet::CutTitle(titles[i]);
        if (title.size() > titles[i].size()) __builtin_trap();
        const std::string resolved = quillet::ResolveEntryPath("/lists/", paths[i]);
        // An address is kept as written, never put under the list's folder.
        const bool url = quillet::IsUrl(paths[i]);
        if (url && resolved != paths[i]) __builtin_trap();
        if (quillet::IsStreamUrl(paths[i]) && !url) __builtin_trap();
        sum = sum * 31 + title.size() + resolved.size();
    }
    g_sink = sum;

    const int fd = memfd_create("playlist", 0);
    if (fd < 0) return 0;
    if (write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size())) {
        const std::string path = "/proc/self/fd/" + std::to_string(fd);
        std::string first;
        for (const std::string& line : lines) {
            if (quillet::Trim(line).empty()) continue;
            first = line.substr(0, 4096);
            break;
        }
        if (quillet::ReadFirstNonBlankLine(path) != first) __builtin_trap();
        const std::string line0 = lines.empty() ? std::string() : lines[0].substr(0, 4096);
        if (quillet::ReadFirstLine(path) != line0) __builtin_trap();
    }
    close(fd);
    return 0;
}
