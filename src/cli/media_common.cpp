#include "media_common.h"

#include <cerrno>
#include <cstdlib>

#include "content_sniff.h"

namespace quillet::cli {

const char kFormatNotSupported[] = "Format not supported";

Owned<TAuFileIn> OpenInput(const std::string& path) {
    // The extension's input, or the one the file's first bytes call for.
    const auto kind = InputKindFor(path);
    TAuFileIn* input = kind ? CreateInput(*kind, nullptr) : nullptr;
    if (!input) throw EAuException(kFormatNotSupported);
    Owned<TAuFileIn> owned(input);
    owned->SetFileName(path);
    return owned;
}

bool ParseInt64(const std::string& text, int64_t& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return false;
    value = v;
    return true;
}

}  // namespace quillet::cli
