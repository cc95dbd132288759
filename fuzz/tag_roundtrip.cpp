// Tag writing round trip on an in-memory file. The input gives the field
// values and the audio; the target writes an ID3v2 tag in front and an ID3v1
// block behind, then checks that the audio between them is byte for byte what
// it was and that both tags read back with the values written. With the file
// sealed against growth every write must fail and leave the file untouched.
#include <fcntl.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_tags_common.h"
#include "text.h"

namespace {

using namespace quillet;

// Field values: up to 12 strings separated by 0x01 bytes before the first
// 0x00; the audio is everything after it.
struct Split {
    std::vector<std::string> values;
    const uint8_t* audio;
    size_t audioSize;
};

Split SplitInput(const uint8_t* data, size_t size) {
    Split s{{std::string()}, data + size, 0};
    size_t i = 0;
    for (; i < size && data[i] != 0; ++i) {
        if (data[i] == 1) {
            if (s.values.size() == 12) break;
            s.values.emplace_back();
        } else {
            s.values.back().push_back(static_cast<char>(data[i]));
        }
    }
    if (i < size) {
        s.audio = data + i + 1;
        s.audioSize = size - i - 1;
    }
    return s;
}

std::vector<uint8_t> ReadAll(int fd) {
    const off_t n = ::lseek(fd, 0, SEEK_END);
    std::vector<uint8_t> out(static_cast<size_t>(n));
    if (n > 0 && ::pread(fd, out.data(), out.size(), 0) != n) __builtin_trap();
    return out;
}

// What a value reads back as after a write in the given encoding; nullopt
// for single-byte text beyond ASCII, which the reader reads through a guess
// of its code page over the whole tag.
std::optional<std::string> Expected(const std::string& utf8, bool unicode) {
    const std::string asWritten = Utf16ToUtf8(Utf8ToUtf16(utf8));
    if (unicode) return asWritten;
    const std::string bytes = Utf8ToLatin1(asWritten);
    if (!IsAscii(bytes)) return std::nullopt;
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 8192) return 0;
    const uint8_t control = data[0];
    const bool unicode = control & 1;
    const bool sealed = control & 2;
    Split in = SplitInput(data + 1, size - 1);

    int fd = ::memfd_create("roundtrip", MFD_ALLOW_SEALING);
    if (fd < 0) return 0;
    if (in.audioSize && ::write(fd, in.audio, in.audioSize) != static_cast<ssize_t>(in.audioSize)) {
        ::close(fd);
        return 0;
    }
    if (sealed && ::fcntl(fd, F_ADD_SEALS, F_SEAL_GROW) != 0) __builtin_trap();

    TId3v2Tags v2;
    TId3v1Tags v1;
    for (size_t i = 0; i < in.values.size(); ++i) {
        if (i == 6) continue;  // comments are never written
        // The format ends text at a zero; the writer gets none from here.
        v2.SetValue(ID3v2FrameIds[1][i], TTagValue::Wide(Utf8ToUtf16(in.values[i])));
    }
    v1.SetTitle(in.values[0]);
    if (in.values.size() > 1) v1.SetArtist(in.values[1]);
    v1.SetTrack(control >> 2);

    ::lseek(fd, 0, SEEK_SET);
    const bool wrote2 = v2.WriteToFile(fd, unicode);
    const bool wrote1 = v1.WriteToFile(fd, false);
    std::vector<uint8_t> file = ReadAll(fd);
    if (sealed) {
        // Nothing may have been written, nothing lost.
        if (wrote2 || wrote1 || file.size() != in.audioSize ||
            (in.audioSize && std::memcmp(file.data(), in.audio, in.audioSize) != 0))
            __builtin_trap();
        ::close(fd);
        return 0;
    }
    if (!wrote2 || !wrote1) __builtin_trap();
    if (file.size() < in.audioSize + 10 + 128) __builtin_trap();
    const size_t tagSize = file.size() - in.audioSize - 128;
    if (tagSize % 16 != 0) __builtin_trap();
    if (in.audioSize && std::memcmp(file.data() + tagSize, in.audio, in.audioSize) != 0)
        __builtin_trap();

    ::lseek(fd, 0, SEEK_SET);
    TId3v2Tags again2;
    if (!again2.ReadFromFile(fd) || ::lseek(fd, 0, SEEK_CUR) != static_cast<off_t>(tagSize))
        __builtin_trap();
    size_t sum = fuzz_tags::Fold(again2);
    for (size_t i = 0; i < in.values.size(); ++i) {
        if (i == 6) continue;
        const std::optional<std::string> want = Expected(in.values[i], unicode);
        if (!want) continue;
        // A zero inside the text ends it when read back.
        const std::string cut = want->substr(0, want->find('\0'));
        // A genre of up to three digits, "RX" or "CR" is, in this format, a
        // reference to the genre list and reads back as the genre's name.
        const bool reference =
            i == 2 &&
            (cut == "RX" || cut == "CR" ||
             (!cut.empty() && cut.size() <= 3 && cut.find_first_not_of("0123456789") == cut.npos));
        if (!reference && again2.GetAsString(ID3v2FrameIds[1][i]) != cut) __builtin_trap();
    }
    TId3v1Tags again1;
    // The block's own text rules are the ID3v1 target's business; here it
    // must be there, whole, after the audio.
    if (!again1.ReadFromFile(fd) || again1.Track() != v1.Track() ||
        std::memcmp(file.data() + file.size() - 128, "TAG", 3) != 0)
        __builtin_trap();
    sum += fuzz_tags::Fold(again1);
    fuzz_tags::g_sink = sum;
    ::close(fd);
    return 0;
}
