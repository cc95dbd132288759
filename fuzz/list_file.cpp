// A kept list's file from arbitrary text: every entry read back is sound (a
// path, a part of its file that starts at 0 or later and ends after it or
// never, a known length or none, gains within the tags' own limits), and
// what was read, written again, reads back the same.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "list_file.h"

namespace {

volatile size_t g_sink;

bool SoundGain(const std::optional<quillet::TGainInfo>& gain) {
    return !gain || (std::isfinite(gain->GainDb) && std::abs(gain->GainDb) <= 24 &&
                     gain->Peak >= 0 && gain->Peak <= 10);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillet;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<TKeptEntry> kept = ParseListFile(text);
    std::vector<TEntry> entries;
    for (const TKeptEntry& k : kept) {
        const TPlaylistEntry& e = k.Entry;
        const TTimeRange r = e.Range;
        if (e.FilePath.empty() || r.Start < 0 || (r.End != -1 && r.End <= r.Start) ||
            k.Info.LengthFlicks < -1 || e.Title.find_first_of("\r\n") != std::string::npos ||
            !SoundGain(TagsOf(e).Gain.Track) || !SoundGain(TagsOf(e).Gain.Album))
            __builtin_trap();
        TEntry& entry = entries.emplace_back();
        static_cast<TPlaylistEntry&>(entry) = e;
        entry.RowText = k.RowText;
        entry.Info = k.Info;
    }
    std::vector<const TEntry*> pointers;
    for (const TEntry& e : entries) pointers.push_back(&e);
    const std::string written = ListFileText(pointers);
    const std::vector<TKeptEntry> again = ParseListFile(written);
    if (again.size() != kept.size()) __builtin_trap();
    size_t sum = written.size();
    for (size_t i = 0; i < kept.size(); ++i) {
        if (!(again[i].Entry == kept[i].Entry) || again[i].RowText != kept[i].RowText ||
            !(again[i].Info == kept[i].Info) || again[i].Entry.Seconds != kept[i].Entry.Seconds)
            __builtin_trap();
        sum += again[i].RowText.size();
    }
    g_sink = sum;
    return 0;
}
