// CUE sheets from arbitrary bytes: the code-page guess, the sheet reader and
// the tracks it gives, and the same bytes as a file that may carry a sheet
// (FLAC metadata, Ogg comments, an APEv2 tag). Every track must lie inside
// its file: a start at or after 0, an end after the start or none.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cue_entries.h"
#include "embedded_sheet.h"
#include "text_encoding.h"

namespace {

volatile size_t g_sink;

void Check(const std::vector<quillet::TPlaylistEntry>& entries) {
    size_t sum = 0;
    for (const quillet::TPlaylistEntry& e : entries) {
        if (e.Range.Start < 0 || (e.Range.End != -1 && e.Range.End <= e.Range.Start))
            __builtin_trap();
        if (e.FilePath.find('\0') != std::string::npos) __builtin_trap();
        sum = sum * 31 + e.Title.size() + e.FilePath.size();
    }
    g_sink = sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string text = quillet::DecodeUndeclaredText(bytes);
    const std::string_view plain = bytes.substr(bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0);
    if (!quillet::IsValidUtf8(text) && text != plain) __builtin_trap();

    // FILE names resolve under a folder that does not exist: nothing real
    // is looked at.
    std::vector<quillet::TPlaylistEntry> entries;
    std::vector<std::string> problems;
    quillet::ReadCueSheetEntries("/nonexistent-quillet-fuzz/a.cue", text, bytes, {".flac", ".wav"},
                                 entries, problems);
    Check(entries);

    quillet::TMemoryStream stream(data, size);
    const quillet::TEmbeddedSheet embedded = quillet::ReadEmbeddedSheet(stream);
    g_sink = embedded.Text.size() + embedded.Block.size() + embedded.Comments.size();
    const int fd = memfd_create("sheet", 0);
    if (fd < 0) return 0;
    if (write(fd, data, size) == static_cast<ssize_t>(size)) {
        entries = quillet::FileEntries("/proc/self/fd/" + std::to_string(fd), &problems);
        if (entries.empty()) __builtin_trap();
        Check(entries);
    }
    close(fd);
    return 0;
}
