#include "textfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "paths.h"

namespace quillet {
namespace {

[[noreturn]] void Fail(int err) {
    throw EInOutError(FileErrorText(err), err);
}

// Reads a whole regular file. Refuses folders and other non-regular files
// (a FIFO would block the caller forever).
std::string ReadAll(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) Fail(errno);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        close(fd);
        Fail(err);
    }
    std::string data;
    data.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            close(fd);
            Fail(err);
        }
        if (n == 0) break;
        data.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return data;
}

bool WriteAllFd(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        const ssize_t n = write(fd, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
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

std::string ReadFirstLine(const std::string& path) {
    const std::vector<std::string> lines = ReadTextLines(path);
    return lines.empty() ? std::string{} : lines.front();
}

void WriteFileAtomic(const std::string& path, const std::string& content) {
    // A missing folder reads "Path not found", as for a direct open.
    std::string folder = ExtractFilePath(path);
    if (folder.empty()) folder = "./";
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0) Fail(errno == ENOENT ? ENOTDIR : errno);
    // Writing over a folder or a file we may not write is refused up front, so
    // the rename below never replaces something the user could not change.
    if (stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) Fail(EISDIR);
        if (access(path.c_str(), W_OK) != 0) Fail(errno);
    }
    std::mt19937_64 rng(std::random_device{}());
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        tmp = folder + ".quillet-" + std::to_string(rng() % 1000000000ULL) + ".tmp";
        fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) Fail(errno);
    }
    if (fd < 0) Fail(EEXIST);
    // Keep the old file's permissions.
    if (stat(path.c_str(), &st) == 0) fchmod(fd, st.st_mode & 07777);
    if (!WriteAllFd(fd, content) || fsync(fd) != 0) {
        const int err = errno;
        close(fd);
        unlink(tmp.c_str());
        Fail(err);
    }
    if (close(fd) != 0 || rename(tmp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        unlink(tmp.c_str());
        Fail(err);
    }
}

}  // namespace quillet
