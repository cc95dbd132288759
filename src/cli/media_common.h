// What the media commands share: the input the player would choose for a
// file, and number parsing for their options.
#pragma once

#include <cstdint>
#include <string>

#include "ACS_Classes.h"

namespace quillet::cli {

extern const char kFormatNotSupported[];

// The input the player would use for `path`, with the file name set.
// Raises "Format not supported" for an extension with no input.
Owned<TAuFileIn> OpenInput(const std::string& path);

// A whole decimal number, nothing else; false leaves `value` alone.
bool ParseInt64(const std::string& text, int64_t& value);

}  // namespace quillet::cli
