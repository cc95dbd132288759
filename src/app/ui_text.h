// A text the window shows: its key in the language files and the English it
// has when no file gives one; and how a part of the window is handed the
// language file's texts (`read(key, builtIn)`: the file's text for the key,
// else the built-in one).
#pragma once

#include <functional>
#include <string>

namespace quillet {

struct TUiText {
    const char* Key;
    const char* BuiltIn;
};

using TTextReader = std::function<std::string(const char* key, const char* builtIn)>;

}  // namespace quillet
