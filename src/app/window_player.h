// The player as the bus sees it, over the main window: each command calls the
// window's own handler, the volume is its slider, the state comes from the
// output. Watch() reports the window's changes so the bus can follow them.
//
// GUI thread only.
#pragma once

#include <QObject>
#include <functional>

#include "UMain.h"
#include "mpris.h"

namespace quillet {

class TWindowPlayer : public QObject, public TPlayerControl {
    Q_OBJECT
  public:
    explicit TWindowPlayer(TFrmQuillet& window);

    // `changed` after anything the bus may show changed (many calls may
    // come for one change); `jumped` after the position bar moved playback.
    void Watch(std::function<void()> changed, std::function<void()> jumped);
    // What Open() does with its paths.
    std::function<void(const std::vector<std::string>& paths)> OnOpen;

    TStatus Status() const override;
    std::optional<TTrack> Track() const override;
    TPlayPosition Position() const override;
    bool CanSeek() const override;
    bool CanGoNext() const override;
    bool CanGoPrevious() const override;
    int Volume() const override;
    void SetVolume(int value) override;
    TLoop Loop() const override;
    void SetLoop(TLoop loop) override;
    bool Shuffle() const override;
    void SetShuffle(bool on) override;
    void Play() override;
    void PauseButton() override;
    void Stop() override;
    void Next() override;
    void Previous() override;
    void SeekTo(int64_t microseconds) override;
    void Open(const std::vector<std::string>& paths) override;
    void Raise() override;
    void Quit() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    TAuFileIn* RunningInput() const;

    TFrmQuillet& W;
    std::function<void()> FChanged;
    mutable int FLastRow = -1;  // where the playing file was last found
};

}  // namespace quillet
