// The tag editor's ID3v2 half over hostile tags: the fields read (with the
// code-page guess), and a rewritten tag that must read back with the new
// title and every other field as it was.
#include <cstring>
#include <vector>

#include "fuzz_tags_common.h"
#include "id3v2_edit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillet;
    using namespace quillet::tags_detail;
    const int fd = fuzz_tags::MemFile(data, size);
    if (fd < 0) return 0;
    TId3v2Tag old;
    const bool has = ReadId3v2Tag(fd, kMaxEditedTagBytes, old);
    ::close(fd);
    const TTagFieldValues before = has ? ReadId3v2Fields(old) : TTagFieldValues{};

    TTagChanges changes;
    changes.Fields[static_cast<size_t>(TTagKey::Title)] = TTagValues{"Fuzz", "Ünï"};
    changes.Cover = TTagChanges::TCover::Remove;
    std::string error;
    const auto tag = BuildId3v2Tag(has ? &old : nullptr, changes, error);
    if (!tag) {
        if (error.empty()) __builtin_trap();
        return 0;
    }
    const int out = fuzz_tags::MemFile(tag->data(), tag->size());
    if (out < 0) return 0;
    TId3v2Tag again;
    if (!ReadId3v2Tag(out, kMaxEditedTagBytes, again) || again.TagSize != int64_t(tag->size()))
        __builtin_trap();
    ::close(out);
    const TTagFieldValues after = ReadId3v2Fields(again);
    if (after[0] != TTagValues({"Fuzz", "Ünï"})) __builtin_trap();
    for (size_t k = 1; k < kTagKeyCount; ++k)
        if (after[k] != before[k]) __builtin_trap();
    fuzz_tags::g_sink = tag->size();
    return 0;
}
