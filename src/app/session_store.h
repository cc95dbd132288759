// "state.ini" in the player's settings folder: the session's settings and
// those of the window's features, each part in a section of its own
// ("session", "resume", "window", "output", "add"). This is the one place
// that reads and writes the file: a part reads its section and saves back
// only the keys it changed, every other section as it was, so no part can
// cost another its settings. A section of more than kSectionMax bytes (keys
// and values) is damage and reads as empty, the others still count; a file
// of more than kStateFileMax bytes is not read at all (and the next save
// starts it anew). No Qt.
//
// A NOTE ON THREADS: any thread. Each Save is one read, change and write
// under a lock of the process, so parts saving at once (the device menu's
// worker, the GUI thread) keep each other's keys.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ini.h"

namespace quillet {

inline constexpr char kStateFileName[] = "state.ini";

class TStateSection {
  public:
    static constexpr size_t kSectionMax = 256 * 1024;
    static constexpr size_t kStateFileMax = 1024 * 1024;

    // `section` of the state file in `folder` (with a trailing "/"), read
    // now. An empty folder keeps nothing: reads give "", Save does nothing.
    TStateSection(std::string folder, std::string section);

    // The key's value; "" when absent.
    std::string Read(std::string_view key) const;
    // Changes a key here; Save keeps it.
    void Write(std::string_view key, std::string value);
    // Writes the keys changed into the file (the folder made when needed),
    // through an atomic replace. Raises EInOutError (textfile.h), the file
    // left as it was.
    void Save();

  private:
    std::string FFolder, FSection;
    TIniFile FRead;
    std::vector<std::pair<std::string, std::string>> FChanged;
};

}  // namespace quillet
