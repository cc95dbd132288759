// The measured loudness of files, kept between runs in one text file of the
// user's cache folder (DefaultLoudnessCacheFile). An entry belongs to a path
// as it was (its size and the time of its last change), so a file edited or
// replaced is measured again. The cache is bounded: past MaxBytes of text
// the entries used longest ago are dropped.
//
// The file is only a cache: one that is missing, unreadable, damaged, of
// another version or far too large is taken as empty (damaged lines alone
// are skipped), and one that cannot be written leaves the entries in memory.
// Saving merges what another process saved meanwhile, then replaces the
// file atomically; savers in several processes take turns (a lock file
// beside the cache, "loudness.txt.lock"), so none loses another's entries.
//
// Threads: none of its own and no lock; its owner serialises every call.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "loudness_meter.h"

namespace quillet {

struct TLoudnessKey {
    std::string Path;
    uint64_t Size = 0;
    int64_t ChangedNs = 0;  // the file's mtime, in nanoseconds
    auto operator<=>(const TLoudnessKey&) const = default;
};

// The key of the regular file at `path` now; nothing for anything else.
std::optional<TLoudnessKey> LoudnessKeyOf(const std::string& path);

struct TCachedLoudness {
    double Integrated = -HUGE_VAL;  // LUFS; -inf for silence
    double TruePeak = 0;            // linear
    TBlockHistogram Blocks;
    bool operator==(const TCachedLoudness&) const = default;
};

// "<cache folder>loudness.txt"; empty when there is no cache folder.
std::string DefaultLoudnessCacheFile();

class TLoudnessCache {
  public:
    static constexpr size_t kDefaultMaxBytes = size_t{16} << 20;
    // A file this many times MaxBytes is not read at all.
    static constexpr size_t kFileSizeFactor = 4;
    // A line this long is damage, not an entry.
    static constexpr size_t kMaxLineBytes = 64 * 1024;

    explicit TLoudnessCache(size_t maxBytes = kDefaultMaxBytes) : FMaxBytes(maxBytes) {}

    // The entry for the file as the key says it is; marks it used.
    const TCachedLoudness* Find(const TLoudnessKey& key);
    // Replaces any entry of the path; the least used go past MaxBytes.
    void Put(const TLoudnessKey& key, TCachedLoudness value);
    size_t Count() const { return FEntries.size(); }

    // The cache as text, most recently used first.
    std::string Format() const;
    // Takes the entries of `text` (the Format above) that are newer than
    // those held for their paths; false when the text is not a cache at all
    // (a damaged line is skipped, and the rest taken).
    bool Merge(std::string_view text);

    // Merges the file's entries; never raises.
    void Load(const std::string& file);
    // Merges the file's entries again, then replaces it, creating its
    // folder; false when it could not be written.
    bool Save(const std::string& file);

  private:
    struct TEntry {
        TLoudnessKey Key;
        TCachedLoudness Value;
        uint64_t Used = 0;  // nanoseconds since the epoch
        size_t Bytes = 0;   // its line's length
    };
    static std::string Line(const TEntry& e);
    // The time now, later than every stamp given before: uses in one
    // process stay in order.
    uint64_t Stamp();
    void Insert(TEntry e);
    void Trim();

    size_t FMaxBytes;
    size_t FBytes = 0;  // the entries' lines together
    uint64_t FLastStamp = 0;
    std::map<std::string, TEntry> FEntries;  // by path
};

}  // namespace quillet
