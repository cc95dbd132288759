// Helpers shared by the tag formats' implementation files (not installed).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
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

}  // namespace quillet::tags_detail

namespace quillet::tags_detail {

// Fault injection for tests of the writers' recovery: when FailNthWrite is
// n > 0, the n-th PWriteAll from now transfers only half its bytes and fails
// (then the counter stops). MoveChunk is the ID3v2 writer's chunk size.
extern int FailNthWrite;
extern size_t MoveChunk;

}  // namespace quillet::tags_detail
