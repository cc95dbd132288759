// The extension-to-input table: which input plays a file, chosen by its
// extension. The one copy of this table; the window and quillet-cli use it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ACS_Classes.h"

namespace quillet {

enum class TInputKind { ikMP3, ikVorbis, ikWave, ikWM, ikFLAC, ikMPC };

// The extension as Play takes it: the text from the last "." of the file-name
// part, dot included, lower-cased, at most its first five characters.
std::string PlayExtension(std::string_view path);

// Every extension the table plays (lower case, dot included), in table order.
std::vector<std::string> PlayableExtensions();

// The input for a path's extension; nullopt means "Format not supported".
std::optional<TInputKind> FindInputKind(std::string_view path);

// Creates an input of that kind, owned by `owner` (nullptr: the caller owns
// it). Returns nullptr for a kind that has no row in the table.
TAuFileIn* CreateInput(TInputKind kind, TComponent* owner);

}  // namespace quillet
