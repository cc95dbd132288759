// Shared by the window stress tests: the real window, its real inputs and
// output on a simulated sound system whose clock runs many times faster than
// real time, dialogs answered by the test, a watchdog that ends a hung run
// with the seed and last command, and the process's own resource counts.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "UMain.h"
#include "app/app_test_support.h"
#include "simulated_device.h"

namespace quillet::test {

// Answers every dialog through a function the test sets; an unset one
// cancels.
class AnsweringDialogs : public TDialogProvider {
  public:
    std::function<std::string()> SoundFile, Playlist;
    std::function<std::optional<std::string>()> Input;

    std::string OpenSoundFile(QWidget*, const TFileDialogSetup&) override {
        return SoundFile ? SoundFile() : std::string();
    }
    std::string OpenPlaylist(QWidget*, const TFileDialogSetup&) override {
        return Playlist ? Playlist() : std::string();
    }
    TSaveDialogResult SavePlaylist(QWidget*, const TFileDialogSetup&) override { return {}; }
    std::optional<std::string> InputQuery(QWidget*, const std::string&, const std::string&,
                                          const std::string&) override {
        return Input ? Input() : std::nullopt;
    }
};

// Aborts the process, saying what it was doing, when Kick is not called for
// `limitSeconds`. A deadlock then fails the test instead of hanging CI.
class Watchdog {
  public:
    explicit Watchdog(int limitSeconds);
    ~Watchdog();
    void Kick(std::string doing);

  private:
    std::mutex FLock;
    std::condition_variable FWake;
    std::string FDoing;
    uint64_t FKicks = 0;
    bool FStop = false;
    int FLimit;
    std::thread FThread;
};

// Resident memory in KiB, and the open descriptors and threads of this process.
int64_t ResidentKb();
int OpenDescriptors();
int Threads();

class StressWindowTest : public AppTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The simulated clock: each millisecond of sound takes `microseconds` of
    // real time (1000 = real time).
    void SetSpeed(uint32_t microseconds) { FMicrosPerMs = microseconds; }
    // Appends rows for the paths, titled by their file names.
    void AddRows(const std::vector<std::string>& paths);
    // Plays a row as a click on it and on Play would.
    void PlayRow(int row);
    // Whether the output is running a track now.
    bool Running() const { return Form->audOut->Active(); }
    // Tracks begun: in a run of their own (a device opened), or joined to
    // the one before without a gap.
    int Starts() const { return Sound->OpenCount() + FJoined.load(); }
    // The rows and the entries agree: as many, each row showing its title
    // (a title is the row's text cut to 150 characters). Non-fatal failures.
    bool ModelInStep() const;
    // Serves the event loop for `ms` milliseconds.
    static void Serve(int ms);

    std::shared_ptr<SimulatedSoundSystem> Sound;
    std::unique_ptr<TFrmQuillet> Form;
    AnsweringDialogs* Dialogs = nullptr;

  private:
    std::atomic<uint32_t> FMicrosPerMs{5};
    std::atomic<int> FJoined{0};
};

}  // namespace quillet::test
