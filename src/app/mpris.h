// The media-player interface on the session bus (org.mpris.MediaPlayer2.quillet):
// what lets media keys, the desktop's sound menu and other remote controls
// drive the player. TMprisService holds the logic over a narrow view of the
// player (TPlayerControl, player_control.h over the controller); adaptors in
// mpris.cpp only put it on the bus: the root, the player and the playlists
// interfaces (each list of the player a playlist), and the properties
// interface answered by the service itself, so a value of the wrong type is
// refused rather than converted. Changes are announced by comparing what
// the bus saw last with what it would see now (Refresh), never by polling
// while nothing plays.
//
// All of it runs on the GUI thread.
#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "play_position.h"
#include "track_tags.h"

namespace quillet {

// What the bus may see and do. Each command is the window's own control.
class TPlayerControl {
  public:
    enum class TStatus { Stopped, Playing, Paused };
    // How the list plays, as the bus sees it: playback stops (at the end of
    // the list or of the track), the track repeats, the list repeats.
    enum class TLoop { None, Track, Playlist };
    struct TTrack {
        std::string Path;
        std::string Title;   // the list's title for the row
        int Row = -1;        // -1 when the list no longer holds it
        uint64_t Entry = 0;  // the list's own id of it: two entries of one file differ
        // The tags the list holds for it (read from its file, or a CUE
        // sheet's track, a stream's song); none while its file is unread.
        std::optional<TTrackTags> Tags = std::nullopt;
        int64_t Length = -1;  // microseconds, as the list knows it; -1 unknown
        bool operator==(const TTrack&) const = default;
    };
    virtual ~TPlayerControl() = default;

    virtual TStatus Status() const = 0;
    // The track playing; when stopped, the one Play would start.
    virtual std::optional<TTrack> Track() const = 0;
    virtual TPlayPosition Position() const = 0;
    virtual bool CanSeek() const = 0;
    virtual bool CanGoNext() const = 0;
    virtual bool CanGoPrevious() const = 0;
    // The volume slider's value: attenuation in hundredths of a dB, 0..10000.
    virtual int Volume() const = 0;
    virtual void SetVolume(int value) = 0;
    virtual TLoop Loop() const = 0;
    virtual void SetLoop(TLoop loop) = 0;
    virtual bool Shuffle() const = 0;
    virtual void SetShuffle(bool on) = 0;

    virtual void Play() = 0;         // the Play button
    virtual void PauseButton() = 0;  // the Pause button (a toggle)
    virtual void Stop() = 0;
    virtual void Next() = 0;
    virtual void Previous() = 0;
    // Moves within the running track (microseconds, within its length).
    virtual void SeekTo(int64_t microseconds) = 0;
    // Adds local paths and stream addresses to the list and plays the first.
    virtual void Open(const std::vector<std::string>& paths) = 0;
    virtual void Raise() = 0;
    virtual void Quit() = 0;

    // --- The player's lists (the playlists interface).
    struct TPlaylist {
        uint64_t Id = 0;  // the list's own, for its whole life
        std::string Name;
        bool operator==(const TPlaylist&) const = default;
    };
    // Every list, in the user's order (the tabs'); none for a player of one
    // unnamed list.
    virtual std::vector<TPlaylist> Playlists() const { return {}; }
    // The list played from.
    virtual std::optional<TPlaylist> ActivePlaylist() const { return std::nullopt; }
    // Plays list `id` from its selected row, or its first; false when there
    // is no such list.
    virtual bool ActivatePlaylist(uint64_t /*id*/) { return false; }
};

// A playlist as the bus passes it, "(oss)": its object path, name and icon
// (none: ""); and the active one, "(b(oss))", valid or not.
struct TBusPlaylist {
    QDBusObjectPath Id;
    QString Name;
    QString Icon;
    bool operator==(const TBusPlaylist&) const = default;
};
struct TBusActivePlaylist {
    bool Valid = false;
    TBusPlaylist Playlist;
    bool operator==(const TBusActivePlaylist&) const = default;
};
QDBusArgument& operator<<(QDBusArgument& arg, const TBusPlaylist& playlist);
const QDBusArgument& operator>>(const QDBusArgument& arg, TBusPlaylist& playlist);
QDBusArgument& operator<<(QDBusArgument& arg, const TBusActivePlaylist& active);
const QDBusArgument& operator>>(const QDBusArgument& arg, TBusActivePlaylist& active);

inline constexpr char kMprisPath[] = "/org/mpris/MediaPlayer2";
inline constexpr char kMprisRoot[] = "org.mpris.MediaPlayer2";
inline constexpr char kMprisPlayer[] = "org.mpris.MediaPlayer2.Player";
inline constexpr char kMprisPlaylists[] = "org.mpris.MediaPlayer2.Playlists";
// Where a list's object path starts; its id follows.
inline constexpr char kPlaylistPathPrefix[] = "/org/quillet/playlist/";
inline constexpr char kMprisService[] = "org.mpris.MediaPlayer2.quillet";

// The bus volume (0..1, linear amplitude) for a slider value, and back; the
// slider's 0..10000 are hundredths of a decibel of attenuation.
double BusVolumeOf(int sliderValue);
int SliderValueOf(double busVolume);

// A QDBusContext: Qt gives the call being answered to an adaptor's parent,
// and the properties adaptor answers a wrong value with an error through it.
class TMprisService : public QObject, public QDBusContext {
    Q_OBJECT
  public:
    // `notify` sends PropertiesChanged (interface, changed values); `seeked`
    // sends the Seeked signal. Tests give their own; Publish() sets the bus's.
    explicit TMprisService(TPlayerControl& player, QObject* parent = nullptr);

    std::function<void(const QString& interface, const QVariantMap& changed)> Notify;
    std::function<void(qint64 position)> SendSeeked;
    // Sends PlaylistChanged (a list was renamed).
    std::function<void(const TBusPlaylist& playlist)> SendPlaylistChanged;
    // Asks for a file holding a file's album art (art_loader.h: ArtFileOf);
    // the answer comes back through SetArt ("" for none). Unset: no art.
    std::function<void(const std::string& path)> RequestArt;
    void SetArt(const std::string& path, const std::string& artFile);

    // Puts the service on `bus`; false (and nothing registered) when the
    // bus is not there.
    bool Publish(QDBusConnection bus);

    // Compares what the bus sees with what it saw and notifies the changes.
    void Refresh();
    // The same once the current event is done; many calls make one refresh.
    void RefreshSoon();
    // The position moved by other means than playing (the position bar).
    void PositionJumped();

    // --- The root interface.
    QStringList SupportedMimeTypes() const;
    void Raise();
    void Quit();

    // --- The player interface.
    QString PlaybackStatus() const;
    QVariantMap Metadata() const;
    qint64 Position() const;
    double Volume() const;
    void SetVolume(double volume);
    // "None", "Track" or "Playlist"; any other value is ignored.
    QString LoopStatus() const;
    void SetLoopStatus(const QString& status);
    bool Shuffle() const;
    void SetShuffle(bool on);
    bool CanPlay() const;
    bool CanPause() const;
    bool CanSeek() const;
    bool CanGoNext() const;
    bool CanGoPrevious() const;
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next();
    void Previous();
    void Seek(qint64 offset);
    void SetPosition(const QDBusObjectPath& trackId, qint64 position);
    // A file URI (as its path) or a stream's address (SupportedUriSchemes).
    void OpenUri(const QString& uri);

    // --- The playlists interface: the player's lists, each named by
    // kPlaylistPathPrefix and its id.
    uint PlaylistCount() const;
    // "UserDefined" (the tabs' order), "Alphabetical", "CreationDate".
    QStringList Orderings() const;
    TBusActivePlaylist ActivePlaylist() const;
    // At most `maxCount` lists from `index` on, in `order` (one of
    // Orderings(), else an error to the caller), reversed with `reverse`.
    QList<TBusPlaylist> GetPlaylists(uint index, uint maxCount, const QString& order, bool reverse);
    // Plays the list; an unknown one is an error to the caller.
    void ActivatePlaylist(const QDBusObjectPath& id);

    // The object path naming the current track ("NoTrack" for none).
    QDBusObjectPath TrackId() const;

  private:
    QVariantMap Snapshot() const;
    void UpdateTrack();
    // Tells what changed of the lists since the last look.
    void RefreshPlaylists();
    // Answers the bus call being served with an error (nothing outside one).
    void Refuse(const QString& text);

    TPlayerControl& FPlayer;
    QVariantMap FLast;  // what was last notified
    std::optional<TPlayerControl::TTrack> FTrack;
    quint64 FTrackSerial = 0;
    std::string FArtPath;  // the path FArtFile belongs to
    std::string FArtFile;
    std::vector<TPlayerControl::TPlaylist> FLastLists;  // as last notified
    std::optional<TPlayerControl::TPlaylist> FLastActive;
    bool FRefreshPending = false;
    QTimer FPoll;  // refreshes while a track runs (its length comes late)
};

}  // namespace quillet

Q_DECLARE_METATYPE(quillet::TBusPlaylist)
Q_DECLARE_METATYPE(quillet::TBusActivePlaylist)
