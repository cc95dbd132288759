// Album art: the lookup in order, folder images and the art cache.
#include "album_art.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "paths.h"
#include "tags_internal.h"
#include "text.h"
#include "textfile.h"

namespace quillet {

namespace {

constexpr std::array<std::string_view, 4> kImageStems = {"cover", "folder", "front", "album"};
constexpr std::array<std::string_view, 4> kImageExtensions = {".jpg", ".jpeg", ".png", ".webp"};

struct TCloseDir {
    void operator()(DIR* d) const { ::closedir(d); }
};

// What the cache file of a picture of this type ends in.
const char* CacheExtension(const std::string& mime) {
    if (mime == "image/png") return ".png";
    if (mime == "image/webp") return ".webp";
    if (mime == "image/gif") return ".gif";
    if (mime == "image/bmp") return ".bmp";
    return ".jpg";
}

}  // namespace

std::string FindFolderImage(const std::string& TrackPath) {
    std::string folder = ExtractFilePath(TrackPath);
    if (folder.empty()) folder = "./";
    std::unique_ptr<DIR, TCloseDir> dir(::opendir(folder.c_str()));
    if (!dir) return {};
    // Rank: the stem's place in kImageStems, then the extension's; the name
    // breaks ties, so the choice never depends on the folder's order.
    std::string best, only;
    size_t bestRank = SIZE_MAX;
    int images = 0;
    while (const dirent* e = ::readdir(dir.get())) {
        if (e->d_type != DT_REG && e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) continue;
        const std::string_view name(e->d_name);
        if (name.empty() || name[0] == '.') continue;
        const std::string ext = AsciiLower(ExtractExtension(name));
        const auto x = std::find(kImageExtensions.begin(), kImageExtensions.end(), ext);
        if (x == kImageExtensions.end()) continue;
        ++images;
        only = name;
        const std::string stem = AsciiLower(name.substr(0, name.size() - ext.size()));
        const auto s = std::find(kImageStems.begin(), kImageStems.end(), stem);
        if (s == kImageStems.end()) continue;
        const size_t rank = static_cast<size_t>(s - kImageStems.begin()) * kImageExtensions.size() +
                            static_cast<size_t>(x - kImageExtensions.begin());
        if (rank < bestRank || (rank == bestRank && name < best)) {
            bestRank = rank;
            best = name;
        }
    }
    const std::string chosen = !best.empty() ? best : images == 1 ? only : std::string();
    if (chosen.empty()) return {};
    struct stat st;
    const std::string path = folder + chosen;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    return path;
}

TAlbumArt FindAlbumArt(const std::string& TrackPath, const TPictureReader& Others) {
    TAlbumArt art;
    TPictureChoice choice;
    // Non-blocking: a FIFO given as a track must not hold the open.
    const int fd = ::open(TrackPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        struct stat st;
        const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
        const bool known = regular && ReadEmbeddedPictures(fd, choice);
        ::close(fd);
        art.Embedded = choice.Take();
        if (regular && !known && !art.Embedded && Others) {
            TPictureChoice other;
            Others(TrackPath, other);
            art.Embedded = other.Take();
        }
    }
    if (!art.Embedded) art.ImagePath = FindFolderImage(TrackPath);
    return art;
}

std::string WriteArtCache(const TPicture& Picture) {
    namespace fs = std::filesystem;
    const std::string base = CacheFolder();
    if (base.empty() || Picture.Data.empty()) return {};
    const fs::path folder = fs::path(base) / "art";
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) return {};
    fs::permissions(folder, fs::perms::owner_all, ec);
    // FNV-1a of the content names the file.
    uint64_t h = 1469598103934665603ull;
    for (uint8_t b : Picture.Data) h = (h ^ b) * 1099511628211ull;
    char name[40];
    std::snprintf(name, sizeof name, "art-%016llx", static_cast<unsigned long long>(h));
    const fs::path path = folder / (std::string(name) + CacheExtension(Picture.MimeType));
    try {
        WriteFileAtomic(path.string(), [&Picture](int fd) {
            if (tags_detail::PWriteAll(fd, Picture.Data.data(), Picture.Data.size(), 0) !=
                Picture.Data.size())
                throw EInOutError(FileErrorText(errno), errno);
        });
    } catch (const EInOutError&) {
        return {};
    }
    // Only the current picture is kept: a client may still be reading the
    // one before, but it can no longer be asked for.
    try {
        for (const auto& e : fs::directory_iterator(folder))
            if (e.path() != path) fs::remove(e.path(), ec);
    } catch (const fs::filesystem_error&) {
        // Left for the next picture to clear.
    }
    return path.string();
}

}  // namespace quillet
