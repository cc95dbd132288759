// The editable fields of an ID3v2 tag, and a new tag with some of them
// changed (the tag editor's MP3 half; not installed).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tag_editor.h"
#include "tags_internal.h"

namespace quillet::tags_detail {

// The largest ID3v2 tag the editor reads whole (pictures included).
inline constexpr int64_t kMaxEditedTagBytes = int64_t{64} << 20;

// The fields of a tag (ReadId3v2Tag), single-byte text through the tag's
// code-page guess; the first frame of each kind counts.
TTagFieldValues ReadId3v2Fields(const TId3v2Tag& tag);

// Why a tag read cannot be carried over whole (2.2, or frames that could not
// be read); empty when it can.
std::string Id3v2Unwritable(const TId3v2Tag& tag);

// A whole new tag: `old`'s frames (none without one) with the changed fields
// and the front cover replaced, everything else carried over byte for byte,
// single-byte text that is not plain ASCII rewritten in Unicode. A 2.3 tag
// stays 2.3 (UTF-16 text), anything else becomes 2.4 (UTF-8). nullopt, with
// `error`, for a tag that cannot be carried over whole (2.2, unreadable).
std::optional<std::vector<uint8_t>> BuildId3v2Tag(const TId3v2Tag* old, const TTagChanges& changes,
                                                  std::string& error);

}  // namespace quillet::tags_detail
