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

#include "instance_message.h"

namespace quillet {

// The socket's path for the current environment.
QString InstanceSocketName();

// Gives `message` to a player listening on `name`. True once that player has
// acknowledged it; false when nobody listens (or answers in time), or when
// the message is over kMaxInstanceMessage.
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
