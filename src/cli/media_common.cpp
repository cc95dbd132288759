#include "media_common.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "ACS_FLAC.h"
#include "ACS_MPC.h"
#include "ACS_Vorbis.h"
#include "ACS_WinMedia.h"
#include "cue_entries.h"
#include "input_table.h"
#include "text.h"

namespace quillet::cli {

Owned<TAuFileIn> OpenInput(const std::string& path) {
    TTrackRef track;
    track.Path = path;
    return OpenTrackInput(track);
}

bool ArgumentEntries(const std::string& arg, std::vector<TPlaylistEntry>& entries) {
    std::vector<std::string> problems;
    TPlaylistOpen open;
    open.PlayableExtensions = PlayableExtensions();
    if (FindInputKind(arg)) {
        entries = FileEntries(arg, &problems);
    } else if (OpenPlaylistEntries(arg, entries, nullptr, &open)) {
        problems = std::move(open.Problems);
    } else {
        TPlaylistEntry& e = entries.emplace_back();
        e.FilePath = arg;
    }
    for (const std::string& p : problems)
        std::fprintf(stderr, "%s: %s\n", EscapeControls(arg).c_str(), EscapeControls(p).c_str());
    return problems.empty();
}

bool PlayableFormat(TAuFileIn& input) {
    const uint32_t bits = input.GetBitsPerSample();
    return input.IsValid() && input.GetChannels() > 0 && input.GetSampleRate() > 0 &&
           (bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

namespace {

void PrintTagSet(const char* set, const TAuTags& tags) {
    for (const TTagFieldText& f : tags.ListFields()) {
        std::printf("%s.%s: %s\n", set, EscapeControls(f.Property).c_str(),
                    EscapeControls(f.Value).c_str());
    }
}

}  // namespace

void PrintInputTags(TAuFileIn& input, bool vorbisOnly) {
    if (auto* flac = dynamic_cast<TFLACIn*>(&input)) PrintTagSet("vorbis", flac->VorbisTags());
    if (auto* ogg = dynamic_cast<TVorbisIn*>(&input)) PrintTagSet("vorbis", ogg->VorbisTags());
    if (vorbisOnly) return;
    // MP3 and WMA: the seven header attributes, in the ID3v2 set.
    if (auto* wm = dynamic_cast<TWMIn*>(&input)) PrintTagSet("id3v2", wm->Id3v2Tags());
    if (auto* mpc = dynamic_cast<TMPCIn*>(&input)) PrintTagSet("apev2", mpc->APEv2Tags());
}

std::string AlbumTag(TAuFileIn& input) {
    if (!input.IsValid()) return {};
    if (auto* flac = dynamic_cast<TFLACIn*>(&input)) return Utf16ToUtf8(flac->VorbisTags().Album());
    if (auto* ogg = dynamic_cast<TVorbisIn*>(&input)) return Utf16ToUtf8(ogg->VorbisTags().Album());
    if (auto* wm = dynamic_cast<TWMIn*>(&input)) return Utf16ToUtf8(wm->Id3v2Tags().Album());
    if (auto* mpc = dynamic_cast<TMPCIn*>(&input)) return Utf16ToUtf8(mpc->APEv2Tags().Album());
    return {};
}

bool ParseInt64(const std::string& text, int64_t& value) {
    const std::optional<int64_t> number = ParseWholeNumber<int64_t>(text);
    if (number) value = *number;
    return number.has_value();
}

}  // namespace quillet::cli
