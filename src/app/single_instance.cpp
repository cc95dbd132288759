#include "single_instance.h"

#include <errno.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QTimer>

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

bool PeerIsUs(const QLocalSocket& socket) {
    return PeerUid(socket.socketDescriptor()) == static_cast<long>(::getuid());
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
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs)) return false;
    // The player at the other end must be the user's own.
    if (!PeerIsUs(socket)) return false;
    socket.write(bytes.data(), static_cast<qint64>(bytes.size()));
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(timeoutMs)) return false;
    char ack = 0;
    if (!socket.waitForReadyRead(timeoutMs) || socket.read(&ack, 1) != 1) return false;
    return ack == kAck;
}

TInstanceServer::TInstanceServer(QObject* parent) : QObject(parent) {
    // No socket options: with them Qt renames its socket over whatever file
    // is there, a live player's included. The folder is the user's own.
    connect(&FServer, &QLocalServer::newConnection, this, &TInstanceServer::Accept);
}

TInstanceServer::TListen TInstanceServer::Listen(const QString& name) {
    if (name.isEmpty() || SocketFileOf(name) == TSocketFile::Foreign) return TListen::Failed;
    if (FServer.listen(name)) return TListen::Listening;
    if (FServer.serverError() != QAbstractSocket::AddressInUseError) return TListen::Failed;
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(1000))
        return PeerIsUs(probe) ? TListen::OtherInstance : TListen::Failed;
    // Nobody answers: a crashed player's socket file (checked again: it is
    // the user's own).
    if (SocketFileOf(name) != TSocketFile::Own) return TListen::Failed;
    QLocalServer::removeServer(name);
    return FServer.listen(name) ? TListen::Listening : TListen::Failed;
}

void TInstanceServer::Accept() {
    while (QLocalSocket* socket = FServer.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!PeerIsUs(*socket)) {
            // Another user's process: nothing it sends is read.
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto reader = std::make_shared<TInstanceMessageReader>();
        auto* timer = new QTimer(socket);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, socket, &QLocalSocket::abort);
        timer->start(kClientTimeoutMs);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, reader] {
            using S = TInstanceMessageReader::TState;
            if (reader->State() != S::NeedMore) return;  // answered already
            // Each byte is read once, whatever the pieces it comes in.
            const QByteArray chunk = socket->readAll();
            const S state = reader->Feed(
                std::string_view(chunk.constData(), static_cast<size_t>(chunk.size())));
            if (state == S::Bad) {
                socket->abort();
                return;
            }
            if (state == S::NeedMore) return;
            socket->write(&kAck, 1);
            socket->flush();
            socket->disconnectFromServer();
            if (OnMessage) OnMessage(reader->Take());
        });
    }
}

}  // namespace quillet
