// The extension-to-input table: which input plays a file, chosen by its
// extension. The one copy of this table; the window and quillet-cli use it,
// and the window's Add-file filter and drop accept list are made from it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ACS_Classes.h"

namespace quillet {

// ikStream plays addresses (IsUrl), never files: chosen by the address, not
// by an extension, and never opened ahead of its turn.
enum class TInputKind { ikMP3, ikVorbis, ikWave, ikWM, ikFLAC, ikMPC, ikFFmpeg, ikStream };
inline constexpr size_t kInputKindCount = 8;

// The extension as Play takes it: the text from the last "." of the file-name
// part, dot included, lower-cased, at most its first five characters.
std::string PlayExtension(std::string_view path);

// Every extension the table plays (lower case, dot included), in table order.
std::vector<std::string> PlayableExtensions();

// The input for a path's extension; nullopt means "Format not supported".
// An address (IsUrl: http://..., but also file://... and other schemes, which
// the stream input refuses with its own message) gives ikStream.
std::optional<TInputKind> FindInputKind(std::string_view path);

// Creates an input of that kind, owned by `owner` (nullptr: the caller owns
// it). Returns nullptr for a kind that has no row in the table.
TAuFileIn* CreateInput(TInputKind kind, TComponent* owner);

// The sound-file filter of the Add-file dialog, in the "description|pattern|"
// form: one pair per group of the table, in table order, then "All files"
// matching every file.
const std::string& SoundFileFilter();

// Whether a dropped file is taken: its extension (at most five characters,
// letter case included) is a row of the table that drops accept. WMA files
// are not taken from a drop.
bool IsDropExtension(std::string_view path);

}  // namespace quillet
