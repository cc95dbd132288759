// quillet-cli playlist FILE: the detected format, then each entry as Open
// playlist stores it (title, tab, resolved path). A CUE track adds a tab and
// its samples in the file, FIRST..END (END excluded). For a sound file the
// format line reads "Sound file" and the entries are those adding it gives
// (itself, or the tracks of the sheet it carries). Tracks left out, and why,
// go to stderr; the status is then 1.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "PlayList.h"
#include "commands.h"
#include "text.h"
#ifdef QUILLET_CLI_MEDIA
#include "cue_entries.h"
#include "input_table.h"
#include "media_common.h"
#endif

namespace quillet::cli {
namespace {

#ifdef QUILLET_CLI_MEDIA
struct TFileLength {
    uint32_t Rate = 0;
    int64_t Samples = -1;  // -1: not known exactly
    std::string Error;
};

// A track's samples by its file's own rate, the end cut to the file's.
// False (with the reason) for a track the file does not reach.
bool TrackSamples(const TPlaylistEntry& e, std::map<std::string, TFileLength>& files,
                  std::string& text) {
    auto [it, added] = files.try_emplace(e.FilePath);
    TFileLength& f = it->second;
    if (added) {
        try {
            Owned<TAuFileIn> input = OpenInput(e.FilePath);
            if (!PlayableFormat(*input)) throw EAuException("not a file this input can read");
            f.Rate = input->GetSampleRate();
            const int64_t count = input->GetSampleCount();
            if (count > 0 && !input->SizeIsEstimate()) f.Samples = count;
        } catch (const std::exception& ex) {
            f.Error = ex.what();
        }
    }
    if (!f.Error.empty()) return text = f.Error, false;
    const int64_t first = FlicksToFrames(e.Range.Start, f.Rate);
    int64_t end = e.Range.End < 0 ? f.Samples : FlicksToFrames(e.Range.End, f.Rate);
    if (f.Samples >= 0) {
        if (first >= f.Samples)
            return text = "starts past the end of the file (" + std::to_string(f.Samples) +
                          " samples)",
                   false;
        if (end > f.Samples) end = f.Samples;
    }
    text = std::to_string(first) + ".." + (end < 0 ? std::string("end") : std::to_string(end));
    return true;
}
#endif

int CmdPlaylist(const std::vector<std::string>& args) {
    if (args.size() != 1) return UsageError("playlist takes one FILE");
    std::vector<TPlaylistEntry> entries;
    std::string format;
    TPlaylistOpen open;
    std::vector<std::string>& problems = open.Problems;
#ifdef QUILLET_CLI_MEDIA
    open.PlayableExtensions = PlayableExtensions();
    if (FindInputKind(args[0])) {
        format = "Sound file";
        entries = FileEntries(args[0], &problems);
    } else
#endif
        OpenPlaylistEntries(args[0], entries, &format, &open);
    // One write of a buffer sized up front: long lists print in milliseconds.
    size_t size = format.size() + 1;
    for (const auto& e : entries) size += e.Title.size() + e.FilePath.size() + 2;
    std::string out;
    out.reserve(size);
    out += format;
    out += '\n';
#ifdef QUILLET_CLI_MEDIA
    std::map<std::string, TFileLength> files;
#endif
    for (const auto& e : entries) {
        std::string samples;
        if (!e.Range.Whole()) {
#ifdef QUILLET_CLI_MEDIA
            if (!TrackSamples(e, files, samples)) {
                problems.push_back("track " + std::to_string(TagsOf(e).Track) + ": " + samples);
                continue;
            }
#else
            samples =
                std::to_string(e.Range.Start) + ".." + std::to_string(e.Range.End) + " flicks";
#endif
        }
        out += EscapeControls(e.Title);
        out += '\t';
        out += EscapeControls(e.FilePath);
        if (!samples.empty()) (out += '\t') += samples;
        out += '\n';
    }
    for (const std::string& p : problems)
        std::fprintf(stderr, "%s: %s\n", EscapeControls(args[0]).c_str(),
                     EscapeControls(p).c_str());
    // Nothing was left out for these: told, but no failure.
    for (const std::string& n : open.Notes)
        std::fprintf(stderr, "%s: note: %s\n", EscapeControls(args[0]).c_str(),
                     EscapeControls(n).c_str());
    const bool written = std::fwrite(out.data(), 1, out.size(), stdout) == out.size();
    return written && problems.empty() ? 0 : 1;
}

const TCommand playlistCmd("playlist",
                           "playlist FILE    format and entries of a playlist, sheet or sound file",
                           &CmdPlaylist);

}  // namespace
}  // namespace quillet::cli
