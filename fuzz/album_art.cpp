// The embedded-picture readers over an in-memory file: ID3v2 APIC/PIC, FLAC
// PICTURE blocks, Ogg comment packets (base64 pictures), MP4 covr boxes and
// APEv2 cover items. A picture handed out must be within the limit and
// sniffed as an image.
#include "album_art.h"
#include "fuzz_tags_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillet;
    int fd = fuzz_tags::MemFile(data, size);
    if (fd < 0) return 0;
    TPictureChoice choice;
    size_t sum = ReadEmbeddedPictures(fd, choice);
    if (auto picture = choice.Take()) {
        if (picture->Data.size() > kMaxPictureBytes) __builtin_trap();
        if (SniffPictureType(picture->Data.data(), picture->Data.size()) != picture->MimeType)
            __builtin_trap();
        sum += picture->Data.size();
    }
    fuzz_tags::g_sink = sum;
    ::close(fd);
    return 0;
}
