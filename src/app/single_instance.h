// One player per session: the first start listens on a local socket, and a
// later start hands its command line over and exits. The socket lives in
// $XDG_RUNTIME_DIR (the user's own folder), named after the display, so each
// user and each graphical session has its own player.
//
// All of it runs on the GUI thread.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// What one start asks of the running player. Paths are absolute, as bytes.
struct TInstanceMessage {
    bool Enqueue = false;
    std::vector<std::string> Paths;
    bool operator==(const TInstanceMessage&) const = default;
};

// The bytes sent over the socket: "QLT1", a flag byte, a 32-bit path count,
// then each path as a 32-bit length and its bytes (little-endian).
std::string EncodeInstanceMessage(const TInstanceMessage& message);
// Reads one whole message from the front of `bytes`. nullopt while more
// bytes are needed; `bad` is set when the bytes can never make a message
// (wrong mark, a length past kMaxInstanceMessage).
std::optional<TInstanceMessage> DecodeInstanceMessage(std::string_view bytes, bool& bad);
inline constexpr size_t kMaxInstanceMessage = 16u << 20;

// The socket's path for the current environment.
QString InstanceSocketName();

// Gives `message` to a player listening on `name`. True once that player has
// acknowledged it; false when nobody listens (or answers in time).
bool HandOffToRunningInstance(const QString& name, const TInstanceMessage& message,
                              int timeoutMs = 5000);

// The first start's side.
class TInstanceServer : public QObject {
    Q_OBJECT
  public:
    explicit TInstanceServer(QObject* parent = nullptr);

    enum class TListen { Listening, OtherInstance, Failed };
    // Listens on `name`. A socket file left by a player that is gone is
    // replaced; OtherInstance means a live player answers there.
    TListen Listen(const QString& name);

    // Each message received, once acknowledged.
    std::function<void(TInstanceMessage)> OnMessage;

  private:
    void Accept();
    QLocalServer FServer;
};

}  // namespace quillet
