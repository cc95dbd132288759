// Helpers shared by the tag formats' implementation files (not installed).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ACS_Tags.h"

namespace quillet::tags_detail {

// A whole decimal 32-bit integer with an optional sign, nothing else.
std::optional<int32_t> ParseInt32(std::string_view s);
// A value as UTF-8 text (integers as decimal digits, empty as empty text).
std::string ValueAsString(const TTagValue& v);

// A published property over a field, for the listings.
struct TPropertyRow {
    const char* Property;
    const char* Field;
};
std::vector<TTagFieldText> ListProperties(const TAuTags& tags, const TPropertyRow* rows,
                                          size_t count);

// Integers stored in a file's byte order.
inline uint32_t BE24(const uint8_t* p) {
    return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
}
inline uint32_t BE32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
inline uint64_t BE64(const uint8_t* p) {
    return (uint64_t{BE32(p)} << 32) | BE32(p + 4);
}
inline uint32_t LE32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

// Descriptor I/O that retries interrupted and partial transfers. Both return
// the bytes transferred (less than asked at the end of file or on an error).
size_t ReadAll(int fd, void* buffer, size_t count);
size_t PWriteAll(int fd, const void* buffer, size_t count, int64_t offset);
size_t PReadAll(int fd, void* buffer, size_t count, int64_t offset);

// An ID3v2 tag read into memory for a walk over its frames.
struct TId3v2Tag {
    int Version = 0;        // 2, 3 or 4
    bool Unsync = false;    // the header's unsynchronisation flag
    bool Extended = false;  // an extended header comes first
    int64_t TagSize = 0;    // the whole tag, header and footer included
    // The tag after its header, without the footer; resynchronised when the
    // whole tag was. Empty when the file is shorter than the tag says; only
    // the first MaxBytes when the frames are longer than the reader's limit.
    std::vector<uint8_t> Frames;
};
// Reads the tag at the handle's offset (false: no valid header there); the
// offset is then somewhere in the tag. At most MaxBytes of its frames are
// read: the frames wholly within them are walked, the rest are not seen.
bool ReadId3v2Tag(THandle handle, int64_t MaxBytes, TId3v2Tag& tag);
// Calls Visit for each frame of the tag, in order, until it returns false.
// Data/Size is the frame's raw content; Flags its format flags (0 in 2.2).
using TId3v2FrameVisitor =
    std::function<bool(std::string_view Id, uint8_t Flags, const uint8_t* Data, size_t Size)>;
void WalkId3v2Frames(const TId3v2Tag& tag, const TId3v2FrameVisitor& Visit);
// A frame's payload with what its flags put around it undone (grouping,
// data length, unsynchronisation); false for a compressed or encrypted frame.
bool Id3v2FramePayload(const TId3v2Tag& tag, uint8_t Flags, const uint8_t* Data, size_t Size,
                       std::vector<uint8_t>& Out);

void PutSynchsafe(uint8_t* p, uint32_t v);
// Four characters A-Z or 0-9: a 2.3/2.4 frame identifier.
bool IsFrameId(const uint8_t* p);
// Whether the 2.4 frames from `pos` read as a tag whose sizes are plain
// numbers (an old writer's habit the reader follows when the frames chain
// that way and not as synchsafe sizes).
bool PlainSizedTag(const std::vector<uint8_t>& frames, size_t pos);
// The genre a TCON text names when it refers to the ID3v1 list ("3", "(3)",
// "(3)Dance": the first reference) or escapes a parenthesis ("((text");
// nothing when the text stands as it is.
std::optional<std::string> ResolveGenre(std::string_view s);

// The single-byte (ISO-8859-1 by name) text of one ID3v2 tag's text and
// comment frames as UTF-8: rips in other code pages (CP1251, GBK,
// Shift-JIS) say ISO-8859-1 too, so the code page is guessed over all of
// the tag's such strings together (DecodeUndeclaredFields).
// UTF-16 text of `n` bytes: a byte-order mark first decides the order,
// else big-endian when `big`; an odd last byte is dropped.
std::u16string ReadUtf16(const uint8_t* p, size_t n, bool big);

class TId3v2LegacyText {
  public:
    explicit TId3v2LegacyText(const TId3v2Tag& tag);
    // One string of the tag (up to its NUL), as UTF-8.
    std::string Decode(std::string_view raw) const;

  private:
    std::unordered_map<std::string, std::string> FDecoded;  // raw -> UTF-8
};

// The strings of a text-like frame payload (T***, TXXX, COMM, USLT): the
// encoding byte, `skip` bytes after it (COMM's language), then NUL-separated
// strings in that encoding, each as UTF-8 (single-byte text through
// `legacy`). nullopt for an unknown encoding.
std::optional<std::vector<std::string>> Id3v2FrameStrings(const uint8_t* p, size_t n, size_t skip,
                                                          const TId3v2LegacyText& legacy);

}  // namespace quillet::tags_detail

namespace quillet::tags_detail {

// Fault injection for tests of the writers' recovery: when FailNthWrite is
// n > 0, the n-th PWriteAll from now transfers only half its bytes and fails
// (then the counter stops). MoveChunk is the ID3v2 writer's chunk size.
extern int FailNthWrite;
extern size_t MoveChunk;
// The tag editor calls it with each step of a write (1: checked, 2: the new
// ID3v2 tag in the copy, 3: the audio copied, 4: the other tags written),
// so tests can fail or kill a write at each.
extern std::function<void(int)> EditStepHook;

}  // namespace quillet::tags_detail
