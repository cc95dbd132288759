#include "lang_config.h"

#include <sys/stat.h>
#include <cerrno>
#include <climits>
#include <filesystem>

#include "textfile.h"

namespace quillet {

namespace {

// The longest name that still leaves room for ".ini" in a file name.
constexpr size_t kMaxLanguageName = NAME_MAX - 4;

bool CanNameLanguageFile(const std::string& name) {
    if (name.size() > kMaxLanguageName) return false;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < ' ' || byte == 0x7F || c == '/') return false;
    }
    return true;
}

}  // namespace

std::string LangCfgPath(const std::string& configFolder, const std::string& programFolder) {
    if (!configFolder.empty()) {
        const std::string user = configFolder + kLangCfgName;
        struct stat st {};
        if (stat(user.c_str(), &st) == 0 || (errno != ENOENT && errno != ENOTDIR)) return user;
    }
    return programFolder + kLangCfgName;
}

std::string ReadLanguageName(const std::string& path) {
    // One byte past the longest name tells a longer line from one that fits.
    std::string name = ReadFirstLine(path, kMaxLanguageName + 1);
    return CanNameLanguageFile(name) ? name : std::string();
}

std::string ReadLanguageChoice(const std::string& configFolder, const std::string& programFolder) {
    return ReadLanguageName(LangCfgPath(configFolder, programFolder));
}

void WriteLanguageName(const std::string& configFolder, const std::string& name) {
    if (configFolder.empty()) throw EInOutError(FileErrorText(ENOTDIR), ENOTDIR);
    std::error_code ignored;  // a folder that cannot be made fails the write below
    std::filesystem::create_directories(configFolder, ignored);
    WriteFileAtomic(configFolder + kLangCfgName, name + "\r\n");
}

}  // namespace quillet
