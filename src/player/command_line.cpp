#include "command_line.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <set>
#include <utility>

#include "cue_entries.h"
#include "input_table.h"
#include "paths.h"
#include "text.h"

namespace quillet {
namespace {

// A playlist bigger than this is no playlist we would read whole.
constexpr off_t kMaxPlaylistBytes = 64 << 20;

bool Cancelled(const std::atomic<bool>* cancel) {
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

// The file, or the tracks of the CUE sheet it carries.
void AddFile(const std::string& path, std::vector<TPlaylistEntry>& out) {
    std::vector<TPlaylistEntry> entries = FileEntries(path);
    std::move(entries.begin(), entries.end(), std::back_inserter(out));
}

// Depth first, names as a file manager shows them (NameLess); `seen` holds
// the folders entered (device and inode), so a link back up the tree is not
// walked again.
void WalkFolder(const std::string& folder, std::set<std::pair<dev_t, ino_t>>& seen,
                std::vector<TPlaylistEntry>& out, const std::atomic<bool>* cancel) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !seen.insert({st.st_dev, st.st_ino}).second) return;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), NameLess);
    const std::string prefix = folder.back() == '/' ? folder : folder + '/';
    // A sheet's tracks stand where its image would, and the image goes.
    std::set<std::string> covered;
    auto sheets = FolderSheets(prefix, names, PlayableExtensions(), covered);
    for (const std::string& name : names) {
        if (Cancelled(cancel)) return;
        const std::string path = prefix + name;
        if (::stat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            WalkFolder(path, seen, out, cancel);
        } else if (auto sheet = sheets.find(name); sheet != sheets.end()) {
            std::move(sheet->second.begin(), sheet->second.end(), std::back_inserter(out));
        } else if (FindInputKind(name) && !covered.count(name)) {
            AddFile(path, out);
        }
    }
}

}  // namespace

TCommandLine ParseCommandLine(int argc, const char* const* argv) {
    TCommandLine line;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--help" || arg == "-h")) {
            line.Help = true;
        } else if (options && arg == "--version") {
            line.Version = true;
        } else if (options && arg == "--enqueue") {
            line.Enqueue = true;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            if (line.Error.empty()) line.Error = "unknown option: " + std::string(arg);
        } else {
            line.Paths.emplace_back(arg);
        }
    }
    return line;
}

std::string UsageText() {
    return "Usage: quillet [--enqueue] [FILE|PLAYLIST|FOLDER|URL]...\n"
           "Adds the files, playlists, folders (walked in name order) and stream\n"
           "addresses (http, https, icy, icyx) to the list and plays the first one\n"
           "added. A player already running in this session takes them instead.\n"
           "\n"
           "  --enqueue   add without starting playback\n"
           "  --help      show this text and exit\n"
           "  --version   show the version and exit\n";
}

std::string VersionText() {
    return "Quillet " QUILLET_VERSION "\n";
}

std::string AbsolutePath(std::string_view path, std::string_view folder) {
    if (IsUrl(path)) return FileUrlPath(path).value_or(std::string(path));
    if (!path.empty() && path[0] == '/') return std::string(path);
    std::string result(folder);
    if (result.empty() || result.back() != '/') result += '/';
    return result.append(path);
}

std::optional<std::string> FileUrlPath(std::string_view url) {
    constexpr std::string_view kScheme = "file://";
    if (url.size() < kScheme.size() || !SameTextAscii(url.substr(0, kScheme.size()), kScheme))
        return std::nullopt;
    url.remove_prefix(kScheme.size());
    const size_t slash = url.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const std::string_view host = url.substr(0, slash);
    if (!host.empty() && !SameTextAscii(host, "localhost")) return std::nullopt;
    url.remove_prefix(slash);
    std::string path;
    for (size_t i = 0; i < url.size(); ++i) {
        if (url[i] != '%') {
            path += url[i];
            continue;
        }
        if (i + 2 >= url.size() || !std::isxdigit(static_cast<unsigned char>(url[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(url[i + 2])))
            return std::nullopt;
        path += static_cast<char>(std::stoi(std::string(url.substr(i + 1, 2)), nullptr, 16));
        i += 2;
    }
    if (path.find('\0') != std::string::npos) return std::nullopt;
    return path;
}

TPlaylistEntry AddressEntry(std::string_view url) {
    TPlaylistEntry entry;
    entry.Title = CutTitle(url);
    entry.FilePath = std::string(url);
    return entry;
}

std::vector<TPlaylistEntry> ExpandPaths(const std::vector<std::string>& paths,
                                        const std::atomic<bool>* cancel) {
    std::vector<TPlaylistEntry> out;
    for (const std::string& path : paths) {
        if (Cancelled(cancel)) break;
        if (path.empty()) continue;
        if (IsUrl(path)) {
            out.push_back(AddressEntry(path));
            continue;
        }
        struct stat st {};
        const bool exists = ::stat(path.c_str(), &st) == 0;
        if (exists && S_ISDIR(st.st_mode)) {
            std::set<std::pair<dev_t, ino_t>> seen;
            WalkFolder(path, seen, out, cancel);
        } else if (FindInputKind(path)) {
            AddFile(path, out);
        } else if (exists && S_ISREG(st.st_mode) && st.st_size <= kMaxPlaylistBytes) {
            std::vector<TPlaylistEntry> entries;
            TPlaylistOpen open;
            open.PlayableExtensions = PlayableExtensions();
            try {
                if (!OpenPlaylistEntries(path, entries, nullptr, &open)) continue;
            } catch (const std::exception&) {
                continue;  // unreadable: skipped like any other bad argument
            }
            std::move(entries.begin(), entries.end(), std::back_inserter(out));
        }
    }
    return out;
}

}  // namespace quillet
