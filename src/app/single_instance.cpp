#include "single_instance.h"

#include <unistd.h>
#include <QDir>
#include <QLocalSocket>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace quillet {
namespace {

constexpr std::string_view kMark = "QLT1";
constexpr char kAck = 1;
// A client that stalls mid-message is dropped after this long.
constexpr int kClientTimeoutMs = 10000;

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

bool GetU32(std::string_view bytes, size_t& at, uint32_t& v) {
    if (bytes.size() - at < 4) return false;
    v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
    at += 4;
    return true;
}

// "quillet-:0.sock" would be a fine name; "/" would not.
QString SafeName(QString text) {
    for (QChar& c : text)
        if (!c.isLetterOrNumber() && c != QLatin1Char('.') && c != QLatin1Char('-'))
            c = QLatin1Char('_');
    return text;
}

}  // namespace

std::string EncodeInstanceMessage(const TInstanceMessage& message) {
    std::string out(kMark);
    out += static_cast<char>(message.Enqueue ? 1 : 0);
    PutU32(out, static_cast<uint32_t>(message.Paths.size()));
    for (const std::string& path : message.Paths) {
        PutU32(out, static_cast<uint32_t>(path.size()));
        out += path;
    }
    return out;
}

std::optional<TInstanceMessage> DecodeInstanceMessage(std::string_view bytes, bool& bad) {
    bad = false;
    const size_t markLen = std::min(bytes.size(), kMark.size());
    if (bytes.substr(0, markLen) != kMark.substr(0, markLen)) {
        bad = true;
        return std::nullopt;
    }
    size_t at = kMark.size();
    if (bytes.size() < at + 1) return std::nullopt;
    TInstanceMessage message;
    message.Enqueue = bytes[at++] != 0;
    uint32_t count = 0;
    if (!GetU32(bytes, at, count)) return std::nullopt;
    // Each path takes at least its four length bytes: a count that cannot
    // fit is refused before anything is reserved for it.
    if (count > (kMaxInstanceMessage - at) / 4) {
        bad = true;
        return std::nullopt;
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t length = 0;
        if (!GetU32(bytes, at, length)) return std::nullopt;
        if (length > kMaxInstanceMessage - at) {
            bad = true;
            return std::nullopt;
        }
        if (bytes.size() - at < length) return std::nullopt;
        message.Paths.emplace_back(bytes.substr(at, length));
        at += length;
    }
    return message;
}

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
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs)) return false;
    const std::string bytes = EncodeInstanceMessage(message);
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
        auto buffer = std::make_shared<std::string>();
        auto* timer = new QTimer(socket);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, socket, &QLocalSocket::abort);
        timer->start(kClientTimeoutMs);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
            const QByteArray chunk = socket->readAll();
            buffer->append(chunk.constData(), static_cast<size_t>(chunk.size()));
            bool bad = false;
            std::optional<TInstanceMessage> message = DecodeInstanceMessage(*buffer, bad);
            if (bad || buffer->size() > kMaxInstanceMessage) {
                socket->abort();
                return;
            }
            if (!message) return;
            buffer->clear();
            socket->write(&kAck, 1);
            socket->flush();
            socket->disconnectFromServer();
            if (OnMessage) OnMessage(std::move(*message));
        });
    }
}

}  // namespace quillet
