// Text files as the program reads and writes them: lines end with LF or
// CR LF when read and with CR LF when written. Errors carry the run-time
// library's words: "File not found", "Path not found", "File access denied",
// otherwise strerror(errno).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ACS_Types.h"

namespace quillet {

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
// Reads a whole regular file; raises EInOutError when it cannot be read.
std::string ReadFileText(const std::string& path);
// Reads every line; raises EInOutError when the file cannot be read.
std::vector<std::string> ReadTextLines(const std::string& path);
// The first line of a file (empty when the file is empty).
std::string ReadFirstLine(const std::string& path);
// Writes `content` to a temporary file in the target's folder, flushes it to
// disk and renames it over `path`, so a failure never destroys the old file.
// Raises EInOutError on failure (the old file is untouched).
void WriteFileAtomic(const std::string& path, const std::string& content);

}  // namespace quillet
