// The ID3v1 reader over an in-memory file, then a write whose block must
// read back with the same fields.
#include "fuzz_tags_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillet;
    int fd = fuzz_tags::MemFile(data, size);
    if (fd < 0) return 0;
    TId3v1Tags tags;
    size_t sum = tags.HasTag(fd);
    if (tags.ReadFromFile(fd)) {
        sum += fuzz_tags::Fold(tags);
        TId3v1Tags again;
        if (!tags.WriteToFile(fd, false) || !again.ReadFromFile(fd)) __builtin_trap();
        if (again.Title() != tags.Title() || again.Artist() != tags.Artist() ||
            again.Album() != tags.Album() || again.Comment() != tags.Comment() ||
            again.Track() != tags.Track() || again.GenreId() != tags.GenreId())
            __builtin_trap();
        sum += fuzz_tags::Fold(again);
    }
    fuzz_tags::g_sink = sum;
    ::close(fd);
    return 0;
}
