#include "single_instance.h"

#include <unistd.h>
#include <QDir>
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

}  // namespace

QString InstanceSocketName() {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString name = QStringLiteral("quillet");
    if (!folder.startsWith(QLatin1Char('/'))) {
        // No private folder: the shared temporary one, told apart by user.
        folder = QDir::tempPath();
        name += QStringLiteral("-u") + QString::number(getuid());
    }
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty()) display = qEnvironmentVariable("DISPLAY");
    if (!display.isEmpty()) name += QLatin1Char('-') + SafeName(display);
    return folder + QLatin1Char('/') + name + QStringLiteral(".socket");
}

bool HandOffToRunningInstance(const QString& name, const TInstanceMessage& message, int timeoutMs) {
    const std::string bytes = EncodeInstanceMessage(message);
    if (bytes.size() > kMaxInstanceMessage) return false;  // the player would refuse it
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs)) return false;
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
    if (FServer.listen(name)) return TListen::Listening;
    if (FServer.serverError() != QAbstractSocket::AddressInUseError) return TListen::Failed;
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(1000)) return TListen::OtherInstance;
    // Nobody answers: a crashed player's socket file.
    QLocalServer::removeServer(name);
    return FServer.listen(name) ? TListen::Listening : TListen::Failed;
}

void TInstanceServer::Accept() {
    while (QLocalSocket* socket = FServer.nextPendingConnection()) {
        auto reader = std::make_shared<TInstanceMessageReader>();
        auto* timer = new QTimer(socket);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, socket, &QLocalSocket::abort);
        timer->start(kClientTimeoutMs);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, reader] {
            using S = TInstanceMessageReader::TState;
            if (reader->State() != S::NeedMore) return;  // answered already
            // Each byte is read once, whatever the pieces it comes in.
            const QByteArray chunk = socket->readAll();
            const S state =
                reader->Feed(std::string_view(chunk.constData(), static_cast<size_t>(chunk.size())));
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
