// Text files as the program reads and writes them: lines end with LF or
// CR LF when read and with CR LF when written. Errors carry the run-time
// library's words: "File not found", "Path not found", "File access denied",
// otherwise strerror(errno) ("File too large" for a file over the cap).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ACS_Types.h"

namespace quillet {

// A descriptor closed when it goes out of scope.
struct TFd {
    int Fd = -1;
    explicit TFd(int fd) : Fd(fd) {}
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    ~TFd();
};

// Writes all of `data` at the descriptor's offset, retrying interrupted and
// short writes; false with errno set (ENOSPC for a write that wrote nothing).
bool WriteAllFd(int fd, const void* data, size_t size);

// The largest text file read whole (playlists, INI files). A larger one is
// refused with "File too large" before anything is allocated for it.
inline constexpr int64_t MaxTextFileSize = int64_t{256} << 20;

// The run-time library's text for a file error (errno value).
std::string FileErrorText(int err);

// Raised for text-file errors (a general error with the texts above).
class EInOutError : public Exception {
  public:
    EInOutError(const std::string& message, int code) : Exception(message), Code(code) {}
    int Code;
};

// Splits text into lines: a line ends at LF or CR LF (a CR alone stays in the
// line), and a final line end starts no new line.
std::vector<std::string> SplitTextLines(std::string_view text);
// Reads a whole regular file of at most MaxTextFileSize bytes; raises
// EInOutError when it cannot be read or is larger.
std::string ReadFileText(const std::string& path);
// Reads every line (ReadFileText's rules).
std::vector<std::string> ReadTextLines(const std::string& path);
// The first line of a file, at most its first `keep` bytes (empty when the
// file is empty). Reads no further than that.
std::string ReadFirstLine(const std::string& path, size_t keep = 4096);
// The first line that is not blank (Trim leaves something), at most its first
// `keep` bytes; empty when there is none. Reads no further than that line,
// and gives up as if there were none after `limit` bytes of blanks (at most
// MaxTextFileSize), so a huge file costs no more than its start.
std::string ReadFirstNonBlankLine(const std::string& path, size_t keep = 4096,
                                  int64_t limit = MaxTextFileSize);
// The words for a write refused because the path leads to something other
// than a regular file (a FIFO, a device, a socket).
inline constexpr const char* kNotRegularFileText = "Not a regular file";

// Writes a new content: `fill` writes all of it to `fd` (empty, open for
// reading and writing, at offset 0) and raises on failure.
using TFileFill = std::function<void(int fd)>;

// Replaces the content of the file `path` names, raising EInOutError on
// failure. A symbolic link is followed: its target gets the new content and
// the link stays a link. Only a regular file (or nothing yet) is written: a
// path that leads to a FIFO, a device, a socket or a folder is refused (the
// words kNotRegularFileText, or "File access denied" for a folder) and left
// exactly as it was. The new content goes to a temporary file in the
// target's folder, flushed to disk and renamed over the target with the old
// file's mode (and owner, where allowed), so a failure never destroys the
// old file. Where a rename would change more than the content (the file has
// other hard links, its owner cannot be kept, or the folder may not be
// written though the file may), the content is built in memory first and
// the file rewritten in place, its new length reserved first, so that a full
// disk still leaves the old content whole. Every file the program writes
// goes through here.
void WriteFileAtomic(const std::string& path, const std::string& content);
void WriteFileAtomic(const std::string& path, const TFileFill& fill);

}  // namespace quillet
