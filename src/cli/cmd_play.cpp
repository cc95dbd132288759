// quillet-cli play: files and streams through the player's own output, one
// after another, joined without a gap where their formats allow (a stream is
// never opened ahead: it starts when reached). A stream's songs are printed
// as they change.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "ACS_DXAudio.h"
#include "commands.h"
#include "main_thread.h"
#include "media_common.h"
#include "paths.h"
#include "stream_input.h"

namespace quillet::cli {
namespace {

int Play(const std::vector<std::string>& args) {
    int64_t volume = 0;
    bool volumeSet = false;
    TReplayGainSetting gain;  // the window's default: track gains
    std::string device;       // empty: the system default
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--volume") {
            if (i + 1 >= args.size() || !ParseInt64(args[i + 1], volume) || volume > 0 ||
                volume < -10000)
                return UsageError("--volume needs hundredths of a decibel, -10000..0");
            volumeSet = true;
            ++i;
        } else if (args[i] == "--device") {
            if (i + 1 >= args.size()) return UsageError("--device needs a name (see devices)");
            device = args[++i];
        } else if (args[i] == "--replaygain") {
            const auto mode = i + 1 < args.size() ? ParseReplayGainMode(args[i + 1]) : std::nullopt;
            if (!mode) return UsageError("--replaygain needs track, album or off");
            gain.Mode = *mode;
            ++i;
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.empty()) return UsageError("play needs at least one file");
    // A sheet or playlist plays its tracks, in order, as one list.
    bool failed = false;
    std::vector<TPlaylistEntry> tracks;
    for (const std::string& f : files) {
        std::vector<TPlaylistEntry> some;
        failed = !ArgumentEntries(f, some) || failed;
        for (TPlaylistEntry& e : some) tracks.push_back(std::move(e));
    }
    files.clear();
    for (const TPlaylistEntry& e : tracks) files.push_back(e.FilePath);

    SetMainThread();
    // Ctrl+C and SIGTERM end the program, as a stream has no end of its own:
    // SDL would otherwise take both signals for quit events nobody reads.
    setenv("SDL_NO_SIGNAL_HANDLERS", "1", 0);
    // Every input lives as long as the sink that may refer to it.
    std::vector<Owned<TAuFileIn>> inputs;
    std::map<const TAuInput*, size_t> fileOf;  // input -> its index in `files` (= `tracks`)
    std::vector<bool> reported(files.size());  // an open error already printed
    auto out = MakeOwned<TDXAudioOut>(nullptr);
    // The window's ring settings.
    out->SetDeviceNumber(0);
    out->SetFramesInBuffer(65536);
    out->SetPollingInterval(200);
    if (volumeSet) out->SetVolume(static_cast<int32_t>(volume));
    out->SetReplayGain(gain);
    out->SetDeviceName(device);
    out->SetOnDeviceChange([&](TComponent*) {
        if (const auto state = out->DeviceState(); state.FellBack)
            std::fprintf(stderr, "%s\n", state.Message.c_str());
    });
    std::atomic<bool> done{false};
    size_t heard = 0;   // the file whose sound began last
    size_t queued = 0;  // the last file started or queued
    auto open = [&](size_t i) -> TAuFileIn* {
        try {
            inputs.push_back(OpenTrackInput(TrackOf(tracks[i])));
        } catch (const std::exception& e) {
            if (!reported[i]) std::fprintf(stderr, "%s: %s\n", files[i].c_str(), e.what());
            reported[i] = true;
            failed = true;
            return nullptr;
        }
        fileOf[inputs.back().get()] = i;
        return inputs.back().get();
    };
    out->SetOnDone([&](TComponent*) { done = true; });
    out->SetOnThreadException([&](TComponent*) {
        std::fprintf(stderr, "%s\n", out->LastError().c_str());
        failed = true;
    });
    // The files follow each other without a gap while their formats match.
    out->SetOnNeedNext([&](TComponent*) {
        TAuFileIn* next = nullptr;
        while (next == nullptr && queued + 1 < files.size() && !IsUrl(files[queued + 1]))
            next = open(++queued);
        out->QueueNext(next);
    });
    out->SetOnTrackChange([&](TComponent*) {
        if (const TAuInput* in = out->TakeHeardInput()) heard = fileOf[in];
    });
    // A run ends after its last file, or before one that could not follow
    // (another format, unreadable): the next run starts there.
    for (size_t i = 0; i < files.size(); i = heard + 1) {
        heard = queued = i;
        TAuFileIn* input = open(i);
        if (input == nullptr) continue;
        out->SetInput(input);
        done = false;
        try {
            out->Start();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", files[i].c_str(), e.what());
            failed = true;
            continue;
        }
        // The handlers run here, on the main thread, as the window's would.
        uint32_t serial = 0;
        std::string shown;  // the stream's song printed last
        while (!done) {
            CheckSynchronize(std::chrono::milliseconds(100));
            auto* stream = dynamic_cast<TStreamIn*>(out->Input());
            if (!stream || stream->TitleSerial() == serial) continue;
            serial = stream->TitleSerial();
            const TStreamInfo info = stream->StreamInfo();
            std::string song = info.Artist.empty() ? info.Title : info.Artist + " - " + info.Title;
            if (song.empty()) song = info.Station;
            if (song.empty() || song == shown) continue;
            shown = song;
            std::printf("%s: %s\n", files[heard].c_str(), song.c_str());
            std::fflush(stdout);
        }
        out->SetInput(nullptr);
    }
    return failed ? 1 : 0;
}

TCommand playCmd("play",
                 "play [--volume V] [--replaygain track|album|off] [--device NAME] "
                 "IN|URL|SHEET|PLAYLIST...",
                 &Play);

}  // namespace
}  // namespace quillet::cli
