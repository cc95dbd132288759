// One player per session: the first start listens on a local socket, and a
// later start hands its command line over and exits. The socket lives in
// $XDG_RUNTIME_DIR (the user's own folder), or without it in a folder of the
// user's own under the temporary one, named after the display, so each user
// and each graphical session has its own player. Nothing another user owns
// is trusted: not the folder, not a socket file, not the process at the
// other end of a connection (its credentials are checked on both sides).
//
// All of it runs on the GUI thread.
#pragma once

#include <sys/types.h>
#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <functional>

#include "instance_message.h"

namespace quillet {

// The socket's path for the current environment. Without XDG_RUNTIME_DIR
// the folder is $TMPDIR/quillet-<uid>, made (mode 0700) when missing and
// made private again when it is the user's own. Empty (no single instance)
// when the folder is not a real folder of the user's own.
QString InstanceSocketName();

// Gives `message` to a player listening on `name`. True once that player has
// acknowledged it; false when nobody listens (or answers in time), when the
// socket file or the process listening belongs to another user, or when the
// message is over kMaxInstanceMessage.
bool HandOffToRunningInstance(const QString& name, const TInstanceMessage& message,
                              int timeoutMs = 5000);

// The user id of the process at the other end of a connected local socket;
// -1 when it cannot be told.
long PeerUid(qintptr socketDescriptor);

// The first start's side.
class TInstanceServer : public QObject {
    Q_OBJECT
  public:
    explicit TInstanceServer(QObject* parent = nullptr);
    // Stops listening; the socket file goes too, unless another took it.
    ~TInstanceServer() override;

    enum class TListen { Listening, OtherInstance, Failed };
    // Listens on `name`. A socket file left by a player that is gone is
    // replaced; OtherInstance means a live player answers there. A file of
    // another user's at `name` is Failed, and left alone.
    TListen Listen(const QString& name);

    // Each message received, once acknowledged. Connections from processes
    // of other users are dropped unread.
    std::function<void(TInstanceMessage)> OnMessage;

  private:
    // Binds and listens on `name`; false (FBindError set) when it cannot.
    bool Bind(const QString& name);
    void Accept();
    // A plain Unix socket: no network library is loaded to start.
    int FListener = -1;
    int FBindError = 0;
    QByteArray FPath;  // the socket file's name while listening
    ino_t FInode = 0;  // and its inode, so only our own file is removed
    QSocketNotifier* FNotifier = nullptr;
};

}  // namespace quillet
