// The MIME types of what the player opens, for the desktop entry and for the
// media-player interface on the bus. The audio types follow the extension
// table (input_table.h), so a new input's extensions bring their types; the
// playlist types are those of the playlist formats the reader detects by
// extension. No Qt: the desktop entry is written at build time with it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// The types one extension (lower case, dot included) is known by; empty
// when we know none.
std::vector<std::string_view> MimeTypesOfExtension(std::string_view extension);

// Every type of every playable extension, then the playlist types; each once.
std::vector<std::string> SupportedMimeTypes();

// The playlist extensions that have a MIME type.
std::vector<std::string_view> PlaylistMimeExtensions();

}  // namespace quillet
