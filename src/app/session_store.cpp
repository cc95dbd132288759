#include "session_store.h"

#include <filesystem>
#include <mutex>
#include <system_error>

namespace quillet {

namespace {

std::mutex& SaveLock() {
    static std::mutex lock;
    return lock;
}

// The state file as far as it can be trusted.
TIniFile LoadState(const std::string& path) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > TStateSection::kStateFileMax) return {};
    return TIniFile::Load(path);
}

size_t SectionBytes(const TIniFile& ini, std::string_view section) {
    size_t bytes = 0;
    for (const std::string& key : ini.Keys(section))
        bytes += key.size() + ini.ReadString(section, key).size();
    return bytes;
}

}  // namespace

TStateSection::TStateSection(std::string folder, std::string section)
    : FFolder(std::move(folder)), FSection(std::move(section)) {
    if (FFolder.empty()) return;
    FRead = LoadState(FFolder + kStateFileName);
    if (SectionBytes(FRead, FSection) > kSectionMax) FRead = {};
}

std::string TStateSection::Read(std::string_view key) const {
    for (auto it = FChanged.rbegin(); it != FChanged.rend(); ++it)
        if (it->first == key) return it->second;
    return FRead.ReadString(FSection, key);
}

void TStateSection::Write(std::string_view key, std::string value) {
    FChanged.emplace_back(std::string(key), std::move(value));
}

void TStateSection::Save() {
    if (FFolder.empty() || FChanged.empty()) return;
    std::error_code ignored;  // a folder that cannot be made fails the write below
    std::filesystem::create_directories(FFolder, ignored);
    const std::string path = FFolder + kStateFileName;
    std::lock_guard<std::mutex> lock(SaveLock());
    TIniFile file = LoadState(path);
    // A damaged section of ours is written anew, not kept beside our keys.
    if (SectionBytes(file, FSection) > kSectionMax)
        for (const std::string& key : file.Keys(FSection))
            while (file.KeyExists(FSection, key)) file.DeleteKey(FSection, key);
    for (const auto& [key, value] : FChanged) file.WriteString(FSection, key, value);
    file.Save(path);
    FChanged.clear();
}

}  // namespace quillet
