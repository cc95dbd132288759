#include "single_instance.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <cstring>
#include <memory>

namespace quillet {
namespace {

constexpr char kAck = 1;
// A client that stalls mid-message is dropped after this long.
constexpr int kClientTimeoutMs = 10000;

// "quillet-:0.sock" would be a fine name; "/" would not.
QString SafeName(QString text) {
    for (QChar& c : text)
        if (!c.isLetterOrNumber() && c != QLatin1Char('.') && c != QLatin1Char('-'))
            c = QLatin1Char('_');
    return text;
}

// A real folder (no link) of the user's own that no one else may write to.
bool OwnFolder(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// $TMPDIR/quillet-<uid>, made private: created with mode 0700 when missing,
// its mode brought back to 0700 when it is the user's own. False for
// anything else at that name (another user's folder, a link, a file).
bool PrivateFolder(const QByteArray& path) {
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    if ((st.st_mode & 07777) != 0700 && ::chmod(path.constData(), 0700) != 0) return false;
    return true;
}

enum class TSocketFile { Missing, Own, Foreign };

// Whether the file at `name` is a socket of the user's own. Anything else
// there is not touched or connected to.
TSocketFile SocketFileOf(const QString& name) {
    struct stat st {};
    if (::lstat(QFile::encodeName(name).constData(), &st) != 0)
        return errno == ENOENT ? TSocketFile::Missing : TSocketFile::Foreign;
    return S_ISSOCK(st.st_mode) && st.st_uid == ::getuid() ? TSocketFile::Own
                                                           : TSocketFile::Foreign;
}

bool PeerIsUs(int fd) {
    return PeerUid(fd) == static_cast<long>(::getuid());
}

// A connected stream socket to the local socket `name`, or -1 (the name too
// long for an address, nobody listening, no answer within `timeoutMs`).
int ConnectTo(const QString& name, int timeoutMs) {
    const QByteArray path = QFile::encodeName(name);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || static_cast<size_t>(path.size()) >= sizeof address.sun_path) return -1;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
        (errno == EINPROGRESS || errno == EAGAIN)) {
        pollfd p{fd, POLLOUT, 0};
        int error = 0;
        socklen_t length = sizeof error;
        if (::poll(&p, 1, timeoutMs) == 1 &&
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)
            return fd;
    }
    ::close(fd);
    return -1;
}

// Waits up to `timeoutMs` for `events` on `fd`.
bool WaitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    int n;
    while ((n = ::poll(&p, 1, timeoutMs)) < 0 && errno == EINTR) {
    }
    return n == 1 && (p.revents & events) != 0;
}

}  // namespace

QString InstanceSocketName() {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString name = QStringLiteral("quillet");
    if (!folder.startsWith(QLatin1Char('/'))) {
        // No private folder given: one of the user's own in the shared
        // temporary one (never a name in the shared folder itself, which
        // another user could take first).
        folder = QDir::tempPath() + QStringLiteral("/quillet-") + QString::number(::getuid());
        if (!PrivateFolder(QFile::encodeName(folder))) return {};
    } else if (!OwnFolder(QFile::encodeName(folder))) {
        return {};
    }
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty()) display = qEnvironmentVariable("DISPLAY");
    if (!display.isEmpty()) name += QLatin1Char('-') + SafeName(display);
    return folder + QLatin1Char('/') + name + QStringLiteral(".socket");
}

long PeerUid(qintptr socketDescriptor) {
    struct ucred cred {};
    socklen_t length = sizeof cred;
    if (socketDescriptor < 0 ||
        ::getsockopt(static_cast<int>(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &cred, &length) !=
            0 ||
        length != sizeof cred)
        return -1;
    return static_cast<long>(cred.uid);
}

bool HandOffToRunningInstance(const QString& name, const TInstanceMessage& message, int timeoutMs) {
    if (name.isEmpty() || SocketFileOf(name) != TSocketFile::Own) return false;
    const std::string bytes = EncodeInstanceMessage(message);
    if (bytes.size() > kMaxInstanceMessage) return false;  // the player would refuse it
    const int fd = ConnectTo(name, timeoutMs);
    if (fd < 0) return false;
    struct TClose {
        int Fd;
        ~TClose() { ::close(Fd); }
    } closer{fd};
    // The player at the other end must be the user's own.
    if (!PeerIsUs(fd)) return false;
    for (size_t sent = 0; sent < bytes.size();) {
        if (!WaitFor(fd, POLLOUT, timeoutMs)) return false;
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        if (n > 0) sent += static_cast<size_t>(n);
    }
    char ack = 0;
    return WaitFor(fd, POLLIN, timeoutMs) && ::recv(fd, &ack, 1, 0) == 1 && ack == kAck;
}

TInstanceServer::TInstanceServer(QObject* parent) : QObject(parent) {}

TInstanceServer::~TInstanceServer() {
    if (FListener < 0) return;
    ::close(FListener);
    // The name goes with the player that had it (unless another took it).
    struct stat st {};
    if (::lstat(FPath.constData(), &st) == 0 && st.st_ino == FInode) ::unlink(FPath.constData());
}

bool TInstanceServer::Bind(const QString& name) {
    const QByteArray path = QFile::encodeName(name);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (static_cast<size_t>(path.size()) >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0) {
        FBindError = errno;
        ::close(fd);
        return false;
    }
    struct stat st {};
    FInode = ::lstat(path.constData(), &st) == 0 ? st.st_ino : 0;
    FListener = fd;
    FPath = path;
    FNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TInstanceServer::Accept);
    return true;
}

TInstanceServer::TListen TInstanceServer::Listen(const QString& name) {
    // Never a socket option that would rename a socket over whatever file
    // is there, a live player's included: the folder is the user's own.
    if (name.isEmpty() || SocketFileOf(name) == TSocketFile::Foreign) return TListen::Failed;
    if (Bind(name)) return TListen::Listening;
    if (FBindError != EADDRINUSE) return TListen::Failed;
    if (const int probe = ConnectTo(name, 1000); probe >= 0) {
        const bool ours = PeerIsUs(probe);
        ::close(probe);
        return ours ? TListen::OtherInstance : TListen::Failed;
    }
    // Nobody answers: a crashed player's socket file (checked again: it is
    // the user's own).
    if (SocketFileOf(name) != TSocketFile::Own) return TListen::Failed;
    ::unlink(QFile::encodeName(name).constData());
    return Bind(name) ? TListen::Listening : TListen::Failed;
}

void TInstanceServer::Accept() {
    for (;;) {
        const int fd = ::accept4(FListener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        if (!PeerIsUs(fd)) {
            // Another user's process: nothing it sends is read.
            ::close(fd);
            continue;
        }
        // The connection's own object, its notifier: its time limit and
        // reader go with it, and the socket is closed once it has let go.
        auto* client = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(client, &QObject::destroyed, [fd] { ::close(fd); });
        auto* timer = new QTimer(client);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, client, &QObject::deleteLater);
        timer->start(kClientTimeoutMs);
        auto reader = std::make_shared<TInstanceMessageReader>();
        connect(client, &QSocketNotifier::activated, this, [this, fd, client, reader] {
            using S = TInstanceMessageReader::TState;
            if (reader->State() != S::NeedMore) return;  // answered already
            char buffer[4096];
            ssize_t n;
            // Each byte is read once, whatever the pieces it comes in.
            while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
                if (reader->Feed(std::string_view(buffer, static_cast<size_t>(n))) != S::NeedMore)
                    break;
            const S state = reader->State();
            if (state == S::NeedMore && n < 0 && (errno == EAGAIN || errno == EINTR)) return;
            client->setEnabled(false);
            client->deleteLater();
            if (state != S::Done) return;  // bad, or the sender went
            ::send(fd, &kAck, 1, MSG_NOSIGNAL);
            if (OnMessage) OnMessage(reader->Take());
        });
    }
}

}  // namespace quillet
