// Helpers shared by the tag formats' implementation files (not installed).
#pragma once

#include <cstddef>
#include <cstdint>
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

}  // namespace quillet::tags_detail

namespace quillet::tags_detail {

// Fault injection for tests of the writers' recovery: when FailNthWrite is
// n > 0, the n-th PWriteAll from now transfers only half its bytes and fails
// (then the counter stops). MoveChunk is the ID3v2 writer's chunk size.
extern int FailNthWrite;
extern size_t MoveChunk;

}  // namespace quillet::tags_detail
