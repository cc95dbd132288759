#include "loudness_cache.h"
#include "file_stamp.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>
#include <type_traits>
#include <vector>

#include "paths.h"
#include "text.h"
#include "textfile.h"

namespace quillet {

namespace {

constexpr std::string_view kHeader = "quillet-loudness 1";

uint64_t NowNs() {
    const auto t = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(t).count());
}

template <class T>
void AppendNumber(std::string& out, T v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// Bytes that would break a line, and "%" itself, as %XX.
std::string EscapePath(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : path) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || b == '%') {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::string> UnescapePath(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int hi = HexDigit(text[i + 1]), lo = HexDigit(text[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    if (out.empty() || out.find('\0') != std::string::npos) return std::nullopt;
    return out;
}

// Reads one field of a line up to the next blank.
class TFields {
  public:
    explicit TFields(std::string_view line) : FRest(line) {}
    std::string_view Next() {
        const size_t blank = FRest.find(' ');
        const std::string_view field = FRest.substr(0, blank);
        FRest = blank == std::string_view::npos ? std::string_view() : FRest.substr(blank + 1);
        return field;
    }
    std::string_view Rest() const { return FRest; }

  private:
    std::string_view FRest;
};

template <class T>
bool ParseNumber(std::string_view s, T& v) {
    if constexpr (std::is_integral_v<T>) {
        const std::optional<T> n = ParseWholeNumber<T>(s);
        if (n) v = *n;
        return n.has_value();
    } else {
        if (s.empty()) return false;
        const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
        return r.ec == std::errc() && r.ptr == s.data() + s.size();
    }
}

// "-" for none, else "index:count" steps, each index after the first given
// as its distance from the one before.
std::string FormatSteps(const TBlockHistogram& h) {
    if (h.Steps.empty()) return "-";
    std::string out;
    uint16_t last = 0;
    for (const TBlockHistogram::TStep& s : h.Steps) {
        if (!out.empty()) out += ',';
        AppendNumber(out, s.Index - last);
        out += ':';
        AppendNumber(out, s.Count);
        last = s.Index;
    }
    return out;
}

std::optional<TBlockHistogram> ParseSteps(std::string_view text) {
    TBlockHistogram h;
    if (text == "-") return h;
    uint32_t index = 0;
    while (!text.empty()) {
        const size_t comma = text.find(',');
        const std::string_view step = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        if (comma != std::string_view::npos && text.empty()) return std::nullopt;
        const size_t colon = step.find(':');
        uint32_t delta = 0, count = 0;
        if (colon == std::string_view::npos || !ParseNumber(step.substr(0, colon), delta) ||
            !ParseNumber(step.substr(colon + 1), count) || count == 0)
            return std::nullopt;
        // In order, each index once, within the histogram.
        if ((!h.Steps.empty() && delta == 0) || delta >= TBlockHistogram::kSteps - index)
            return std::nullopt;
        index += delta;
        h.Steps.push_back({static_cast<uint16_t>(index), count});
    }
    if (h.Steps.empty()) return std::nullopt;
    return h;
}

// Held while a save reads the file again and replaces it, so that writers in
// other processes take turns and each merges what the one before saved. The
// lock is a file beside the cache (the cache itself is replaced by a rename,
// so its own lock would not outlive a save). A holder that never lets go
// costs a few seconds, then the save goes ahead unlocked: a cache is not
// worth a hang.
class TSaveLock {
  public:
    explicit TSaveLock(const std::string& file) {
        FFd = ::open((file + ".lock").c_str(),
                     O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        struct stat st {};
        if (FFd < 0) return;
        if (::fstat(FFd, &st) != 0 || !S_ISREG(st.st_mode)) {
            Drop();
            return;
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (::flock(FFd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) ||
                std::chrono::steady_clock::now() > until) {
                Drop();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ~TSaveLock() { Drop(); }
    TSaveLock(const TSaveLock&) = delete;
    TSaveLock& operator=(const TSaveLock&) = delete;

  private:
    void Drop() {
        if (FFd >= 0) ::close(FFd);  // lets go of the lock too
        FFd = -1;
    }
    int FFd = -1;
};

}  // namespace

std::optional<TLoudnessKey> LoudnessKeyOf(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const TFileStamp stamp = StampOf(st);
    return TLoudnessKey{path, static_cast<uint64_t>(stamp.Size), stamp.ModifiedNs};
}

std::string DefaultLoudnessCacheFile() {
    const std::string folder = CacheFolder();
    return folder.empty() ? folder : folder + "loudness.txt";
}

uint64_t TLoudnessCache::Stamp() {
    FLastStamp = std::max(NowNs(), FLastStamp + 1);
    return FLastStamp;
}

const TCachedLoudness* TLoudnessCache::Find(const TLoudnessKey& key) {
    const auto it = FEntries.find(key.Path);
    if (it == FEntries.end() || !(it->second.Key == key)) return nullptr;
    it->second.Used = Stamp();
    return &it->second.Value;
}

void TLoudnessCache::Put(const TLoudnessKey& key, TCachedLoudness value) {
    Insert({key, std::move(value), Stamp(), 0});
    Trim();
}

void TLoudnessCache::Insert(TEntry e) {
    e.Bytes = Line(e).size();
    auto [it, added] = FEntries.try_emplace(e.Key.Path);
    if (!added) FBytes -= it->second.Bytes;
    FBytes += e.Bytes;
    it->second = std::move(e);
}

void TLoudnessCache::Trim() {
    if (FBytes + kHeader.size() + 1 <= FMaxBytes) return;
    std::vector<std::pair<uint64_t, const std::string*>> byUse;
    for (const auto& [path, e] : FEntries) byUse.push_back({e.Used, &path});
    std::sort(byUse.begin(), byUse.end());
    for (const auto& [used, path] : byUse) {
        if (FBytes + kHeader.size() + 1 <= FMaxBytes) break;
        const auto it = FEntries.find(*path);
        FBytes -= it->second.Bytes;
        FEntries.erase(it);
    }
}

std::string TLoudnessCache::Line(const TEntry& e) {
    std::string line;
    AppendNumber(line, e.Used);
    line += ' ';
    AppendNumber(line, e.Key.Size);
    line += ' ';
    AppendNumber(line, e.Key.ChangedNs);
    line += ' ';
    if (std::isfinite(e.Value.Integrated))
        AppendNumber(line, e.Value.Integrated);
    else
        line += "-inf";
    line += ' ';
    AppendNumber(line, e.Value.TruePeak);
    line += ' ';
    line += FormatSteps(e.Value.Blocks);
    line += ' ';
    line += EscapePath(e.Key.Path);
    line += '\n';
    return line;
}

std::string TLoudnessCache::Format() const {
    std::vector<const TEntry*> byUse;
    for (const auto& [path, e] : FEntries) byUse.push_back(&e);
    std::sort(byUse.begin(), byUse.end(), [](const TEntry* a, const TEntry* b) {
        return a->Used != b->Used ? a->Used > b->Used : a->Key.Path < b->Key.Path;
    });
    std::string out(kHeader);
    out += '\n';
    for (const TEntry* e : byUse) out += Line(*e);
    return out;
}

bool TLoudnessCache::Merge(std::string_view text) {
    const size_t first = text.find('\n');
    if (first == std::string_view::npos || text.substr(0, first) != kHeader) return false;
    text.remove_prefix(first + 1);
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.size() > kMaxLineBytes) continue;
        TFields f(line);
        TEntry e;
        if (!ParseNumber(f.Next(), e.Used) || !ParseNumber(f.Next(), e.Key.Size) ||
            !ParseNumber(f.Next(), e.Key.ChangedNs))
            continue;
        // Figures a meter can give: a finite loudness or silence, a peak
        // not beyond 60 dB over full scale.
        double integrated = -HUGE_VAL, peak = 0;
        if (const std::string_view loud = f.Next();
            loud != "-inf" &&
            !(ParseNumber(loud, integrated) && integrated >= -200 && integrated <= 100))
            continue;
        if (!ParseNumber(f.Next(), peak) || !(peak >= 0 && peak <= 1000)) continue;
        std::optional<TBlockHistogram> blocks = ParseSteps(f.Next());
        std::optional<std::string> path = UnescapePath(f.Rest());
        if (!blocks || !path) continue;
        e.Key.Path = std::move(*path);
        e.Value = {integrated, peak, std::move(*blocks)};
        const auto it = FEntries.find(e.Key.Path);
        if (it == FEntries.end() || it->second.Used < e.Used) Insert(std::move(e));
    }
    Trim();
    return true;
}

void TLoudnessCache::Load(const std::string& file) {
    struct stat st {};
    if (file.empty() || ::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<uint64_t>(st.st_size) > uint64_t{FMaxBytes} * kFileSizeFactor)
        return;
    try {
        Merge(ReadFileText(file));
    } catch (const std::exception&) {
        // Unreadable: as if there were none.
    }
}

bool TLoudnessCache::Save(const std::string& file) {
    if (file.empty()) return false;
    std::error_code ec;
    std::filesystem::create_directories(ExtractFilePath(file), ec);
    const TSaveLock lock(file);
    Load(file);
    try {
        WriteFileAtomic(file, Format());
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

}  // namespace quillet
