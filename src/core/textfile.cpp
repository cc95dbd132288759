#include "textfile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

#include "paths.h"

namespace quillet {
namespace {

[[noreturn]] void Fail(int err) {
    throw EInOutError(FileErrorText(err), err);
}

// Opens a regular file for reading. Refuses folders and other non-regular
// files (a FIFO would block the caller forever).
int OpenRegular(const std::string& path, struct stat& st) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) Fail(errno);
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        close(fd);
        Fail(err);
    }
    return fd;
}

// One read(2), retried when interrupted; raises on an error.
size_t ReadSome(int fd, char* buf, size_t size) {
    for (;;) {
        const ssize_t n = read(fd, buf, size);
        if (n >= 0) return static_cast<size_t>(n);
        if (errno != EINTR) Fail(errno);
    }
}

std::string ReadAll(const std::string& path) {
    struct stat st {};
    const TFd fd{OpenRegular(path, st)};
    if (st.st_size > MaxTextFileSize) Fail(EFBIG);
    std::string data;
    data.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    while (const size_t n = ReadSome(fd.Fd, buf, sizeof buf)) {
        // A file that grows while it is read stays under the cap too.
        if (static_cast<int64_t>(data.size() + n) > MaxTextFileSize) Fail(EFBIG);
        data.append(buf, n);
    }
    return data;
}

// The first line (the first non-blank one when `skipBlank`), at most `keep`
// bytes of it, reading no further than needed.
std::string ReadLeadingLine(const std::string& path, size_t keep, bool skipBlank,
                            int64_t limit = MaxTextFileSize) {
    struct stat st {};
    const TFd fd{OpenRegular(path, st)};
    std::string line;
    bool blank = true;  // the line so far holds only characters <= ' '
    bool cut = false;   // bytes of the line were dropped after `keep`
    int64_t total = 0;
    char buf[65536];
    limit = std::min(limit, MaxTextFileSize);
    while (total < limit) {
        const size_t n =
            ReadSome(fd.Fd, buf, static_cast<size_t>(std::min<int64_t>(sizeof buf, limit - total)));
        if (n == 0) break;
        total += static_cast<int64_t>(n);
        for (size_t i = 0; i < n; ++i) {
            const char c = buf[i];
            if (c == '\n') {
                if (!blank || !skipBlank) {
                    if (!cut && !line.empty() && line.back() == '\r') line.pop_back();
                    return line;
                }
                line.clear();
                cut = false;
                continue;
            }
            if (line.size() < keep)
                line += c;
            else
                cut = true;
            if (static_cast<unsigned char>(c) > ' ') blank = false;
            if (cut && (!blank || !skipBlank)) return line;
        }
    }
    return !blank || !skipBlank ? line : std::string();
}

}  // namespace

TFd::~TFd() {
    if (Fd >= 0) close(Fd);
}

bool WriteAllFd(int fd, const void* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, static_cast<const char*>(data) + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

namespace {

[[noreturn]] void FailNotRegular() {
    throw EInOutError(kNotRegularFileText, EINVAL);
}

// The whole content of `fd` from its start.
std::string ReadBack(int fd) {
    std::string data;
    char buf[65536];
    for (off_t at = 0;;) {
        const ssize_t n = pread(fd, buf, sizeof buf, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail(errno);
        if (n == 0) return data;
        data.append(buf, static_cast<size_t>(n));
        at += n;
    }
}

// Rewrites the file in place (creating it through a dangling link). The new
// length is reserved before the old content is touched, so that running out
// of space or quota leaves the old content whole. Opened without blocking
// and checked again once open: what is there now may not be what was looked
// at before.
void WriteInPlace(const std::string& path, const std::string& content) {
    const TFd fd{open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644)};
    struct stat st {};
    if (fd.Fd < 0) {
        if (errno == ENXIO) FailNotRegular();  // a FIFO nobody reads
        Fail(errno);
    }
    if (fstat(fd.Fd, &st) != 0) Fail(errno);
    if (!S_ISREG(st.st_mode)) FailNotRegular();
    if (!content.empty()) {
        const int err = posix_fallocate(fd.Fd, 0, static_cast<off_t>(content.size()));
        // Other errors mean the file system cannot reserve; write anyway.
        if (err == ENOSPC || err == EFBIG || err == EDQUOT) {
            (void)ftruncate(fd.Fd, st.st_size);
            Fail(err);
        }
    }
    if (!WriteAllFd(fd.Fd, content.data(), content.size()) ||
        ftruncate(fd.Fd, static_cast<off_t>(content.size())) != 0 || fsync(fd.Fd) != 0)
        Fail(errno);
}

// The content `fill` writes, held in memory (for a rewrite in place).
std::string FillInMemory(const TFileFill& fill) {
    const TFd fd{memfd_create("quillet-write", MFD_CLOEXEC)};
    if (fd.Fd < 0) Fail(errno);
    fill(fd.Fd);
    return ReadBack(fd.Fd);
}

// Writes a temporary file in `folder` and renames it over `target`, keeping
// the old file's mode and owner. False (nothing changed) when the owner
// cannot be kept or the folder refuses the temporary file of an existing one.
bool WriteReplacing(const std::string& target, const std::string& folder, const TFileFill& fill,
                    const struct stat* old) {
    std::mt19937_64 rng(std::random_device{}());
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        tmp = folder + ".quillet-" + std::to_string(rng() % 1000000000ULL) + ".tmp";
        fd = open(tmp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && old && (errno == EACCES || errno == EPERM || errno == EROFS)) return false;
        if (fd < 0 && errno != EEXIST) Fail(errno);
    }
    if (fd < 0) Fail(EEXIST);
    auto giveUp = [&](int err) {
        close(fd);
        unlink(tmp.c_str());
        if (err != 0) Fail(err);
        return false;
    };
    if (old) {
        struct stat now {};
        if (fstat(fd, &now) != 0) return giveUp(errno);
        if ((now.st_uid != old->st_uid || now.st_gid != old->st_gid) &&
            fchown(fd, old->st_uid, old->st_gid) != 0)
            return giveUp(0);
        // After the owner: a change of owner clears the set-id bits.
        fchmod(fd, old->st_mode & 07777);
    }
    try {
        fill(fd);
    } catch (...) {
        close(fd);
        unlink(tmp.c_str());
        throw;
    }
    if (fsync(fd) != 0) return giveUp(errno);
    // The target may have been swapped for something else meanwhile.
    struct stat now {};
    if (lstat(target.c_str(), &now) == 0 && !S_ISREG(now.st_mode)) {
        close(fd);
        unlink(tmp.c_str());
        FailNotRegular();
    }
    if (close(fd) != 0 || rename(tmp.c_str(), target.c_str()) != 0) {
        const int err = errno;
        unlink(tmp.c_str());
        Fail(err);
    }
    return true;
}

}  // namespace

std::string FileErrorText(int err) {
    switch (err) {
        case ENOENT:
            return "File not found";
        case ENOTDIR:
            return "Path not found";
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return "File access denied";
        default:
            return std::strerror(err);
    }
}

std::vector<std::string> SplitTextLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t lf = text.find('\n', start);
        if (lf == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        const size_t end = (lf > start && text[lf - 1] == '\r') ? lf - 1 : lf;
        lines.emplace_back(text.substr(start, end - start));
        start = lf + 1;
    }
    return lines;
}

std::string ReadFileText(const std::string& path) {
    return ReadAll(path);
}

std::vector<std::string> ReadTextLines(const std::string& path) {
    return SplitTextLines(ReadAll(path));
}

std::string ReadFirstLine(const std::string& path, size_t keep) {
    return ReadLeadingLine(path, keep, false);
}

std::string ReadFirstNonBlankLine(const std::string& path, size_t keep, int64_t limit) {
    return ReadLeadingLine(path, keep, true, limit);
}

void WriteFileAtomic(const std::string& path, const std::string& content) {
    WriteFileAtomic(path, [&content](int fd) {
        if (!WriteAllFd(fd, content.data(), content.size())) Fail(errno);
    });
}

void WriteFileAtomic(const std::string& path, const TFileFill& fill) {
    // The link stays a link: the file it leads to gets the content.
    std::string target = path;
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        } else if (errno == ENOENT) {
            // Creates the missing target (a regular file).
            return WriteInPlace(path, FillInMemory(fill));
        } else {
            Fail(errno);
        }
    }
    // A missing folder reads "Path not found", as for a direct open.
    std::string folder = ExtractFilePath(target);
    if (folder.empty()) folder = "./";
    if (stat(folder.c_str(), &st) != 0) Fail(errno == ENOENT ? ENOTDIR : errno);
    // Writing over a folder, a FIFO, a device or a file we may not write is
    // refused up front, so the rename below never replaces something the
    // user could not change or that is not a file's content.
    const bool exists = stat(target.c_str(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode)) Fail(EISDIR);
        if (!S_ISREG(st.st_mode)) FailNotRegular();
        if (access(target.c_str(), W_OK) != 0) Fail(errno);
        // After a rename the file's other names would keep the old content,
        // and a folder we may not write takes no new file: rewrite in place.
        if (st.st_nlink > 1 || access(folder.c_str(), W_OK) != 0)
            return WriteInPlace(target, FillInMemory(fill));
    }
    if (!WriteReplacing(target, folder, fill, exists ? &st : nullptr))
        WriteInPlace(target, FillInMemory(fill));
}

}  // namespace quillet
