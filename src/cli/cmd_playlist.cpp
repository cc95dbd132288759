// quillet-cli playlist FILE: the detected format, then each entry as Open
// playlist stores it (title, tab, resolved path).
#include <cstdio>
#include <string>
#include <vector>

#include "PlayList.h"
#include "commands.h"

namespace quillet::cli {
namespace {

int CmdPlaylist(const std::vector<std::string>& args) {
    if (args.size() != 1) return UsageError("playlist takes one FILE");
    std::vector<TPlaylistEntry> entries;
    std::string format;
    OpenPlaylistEntries(args[0], entries, &format);
    // One write of a buffer sized up front: long lists print in milliseconds.
    size_t size = format.size() + 1;
    for (const auto& e : entries) size += e.Title.size() + e.FilePath.size() + 2;
    std::string out;
    out.reserve(size);
    out += format;
    out += '\n';
    for (const auto& e : entries) {
        out += e.Title;
        out += '\t';
        out += e.FilePath;
        out += '\n';
    }
    return std::fwrite(out.data(), 1, out.size(), stdout) == out.size() ? 0 : 1;
}

const TCommand reg("playlist", "playlist FILE    format and entries of a playlist", &CmdPlaylist);

}  // namespace
}  // namespace quillet::cli
