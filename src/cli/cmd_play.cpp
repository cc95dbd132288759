// quillet-cli play: its arguments once, in order, through the window's own
// player (playback_controller.h) in its "stop at the end of the list" mode.
// A sheet or playlist stands for its tracks, a folder for its files in name
// order (the window's command-line walk). Gapless joins, tracks given ahead,
// measured and smart gain, streams and CUE tracks are the player's; this
// file parses the options, tells what happens and waits for the end. A
// stream's songs go to stdout as they change; every problem goes to stderr
// once and makes the status 1. Ctrl+C and SIGTERM end it at once.
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "crossfade.h"
#include "eq_presets.h"
#include "main_thread.h"
#include "media_common.h"
#include "paths.h"
#include "playback_controller.h"
#include "stream_titles.h"
#include "text.h"
#include "track_input.h"
#include "track_tags.h"

namespace quillet::cli {
namespace {

// A cached loudness counts from the first track's first sample if the cache
// file is read within this.
constexpr auto kCacheWait = std::chrono::seconds(2);
// How often the loop looks at a stream's titles between the sink's events.
constexpr auto kTick = std::chrono::milliseconds(100);

struct TPlayOptions {
    std::optional<int64_t> Volume;  // hundredths of a decibel, -10000..0
    std::string Device;             // empty: the system default
    TReplayGainSetting Gain;        // the sink's default: track gains
    bool Measure = false;           // untagged files are measured (auto, smart)
    std::optional<TEqSettings> Eq;  // the equalizer on with these settings
    uint32_t Crossfade = 0;         // seconds; 0: tracks join as they are
};

// An option and its value: what the value does to the options; false for a
// value that is no good, which is then the usage error `Needs`. A new option
// is a new row.
struct TOption {
    std::string_view Name;
    const char* Needs;
    bool (*Take)(const std::string& value, TPlayOptions& options);
};

const TOption kOptions[] = {
    {"--volume", "--volume needs hundredths of a decibel, -10000..0",
     [](const std::string& value, TPlayOptions& o) {
         int64_t volume = 0;
         if (!ParseInt64(value, volume) || volume > 0 || volume < -10000) return false;
         o.Volume = volume;
         return true;
     }},
    {"--device", "--device needs a name (see devices)",
     [](const std::string& value, TPlayOptions& o) {
         o.Device = value;
         return true;
     }},
    {"--replaygain", "--replaygain needs track, album, off, auto or smart",
     [](const std::string& value, TPlayOptions& o) {
         // auto: track gains, and untagged files measured.
         const auto mode = value == "auto" ? TReplayGainMode::Track : ParseReplayGainMode(value);
         if (!mode) return false;
         o.Gain.Mode = *mode;
         o.Measure = value == "auto" || *mode == TReplayGainMode::Smart;
         return true;
     }},
    {"--eq", "--eq needs ten gains in dB (G1,...,G10) or a preset's name",
     [](const std::string& value, TPlayOptions& o) {
         o.Eq = ParseEqArgument(value);
         return o.Eq.has_value();
     }},
    {"--crossfade", "--crossfade needs whole seconds, 0..12",
     [](const std::string& value, TPlayOptions& o) {
         int64_t seconds = 0;
         if (!ParseInt64(value, seconds) || seconds < 0 || seconds > kMaxCrossfadeSeconds)
             return false;
         o.Crossfade = static_cast<uint32_t>(seconds);
         return true;
     }},
};

void Tell(const std::string& path, const std::string& text) {
    if (path.empty())
        std::fprintf(stderr, "%s\n", EscapeControls(text).c_str());
    else
        std::fprintf(stderr, "%s: %s\n", EscapeControls(path).c_str(),
                     EscapeControls(text).c_str());
}

// The entries the paths stand for, in order. An entry no input plays, or a
// missing file, is told and left out here (the player would stop at the
// first, and take the second for a file it does not understand); false
// when anything was told.
bool Entries(const std::vector<std::string>& paths, std::vector<TPlaylistEntry>& entries) {
    bool ok = true;
    std::set<std::string> told;
    for (const std::string& path : paths) {
        std::vector<TPlaylistEntry> some;
        struct stat st {};
        if (!IsUrl(path) && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            some = ExpandPaths({path});
            if (some.empty()) {
                Tell(path, "no files to play");
                ok = false;
            }
        } else {
            ok = ArgumentEntries(path, some) && ok;
        }
        for (TPlaylistEntry& e : some) {
            const TTrackRef track = TrackOf(e);
            // Some inputs open a missing file as one they do not understand:
            // the file's absence is the better answer.
            const int missing =
                !IsUrl(track.Path) && ::stat(track.Path.c_str(), &st) != 0 ? errno : 0;
            const std::string problem = !TrackInputKind(track) ? kFormatNotSupported
                                        : missing != 0         ? std::strerror(missing)
                                                               : std::string();
            if (!problem.empty()) {
                // A sheet's tracks share their image: told once.
                if (told.insert(e.FilePath).second) Tell(e.FilePath, problem);
                ok = false;
                continue;
            }
            entries.push_back(std::move(e));
        }
    }
    return ok;
}

// Tells on the terminal what the player does: a stream's songs, and each
// failure once with the file it belongs to, the file's own words first (an
// entry marked failed), the sink's error only where no entry took the blame.
// Main thread only, as the player.
class TPlayReport final : private TPlaybackListener, private TPlaylistListener {
  public:
    explicit TPlayReport(TPlaybackController& player) : FPlayer(player) {
        for (const TEntry& e : FPlayer.List())
            if (IsUrl(e.FilePath)) FShown[e.Id] = e.RowText;
        FPlayer.AddListener(this);
        FPlayer.List().AddListener(this);
        FPlayer.Output().SetOnThreadException([this](TComponent*) { RunFailed(); });
    }
    ~TPlayReport() {
        FPlayer.Output().SetOnThreadException({});
        FPlayer.List().RemoveListener(this);
        FPlayer.RemoveListener(this);
    }
    TPlayReport(const TPlayReport&) = delete;
    TPlayReport& operator=(const TPlayReport&) = delete;

    bool Failed() const { return FFailed; }

  private:
    // The error a run ended with, until the player says whose it was.
    struct TPending {
        TEntryId Id = kNoEntry;
        std::string Path, Error;
        TAuOutput::TFault Fault = TAuOutput::TFault::None;
    };

    // `again`: also when it is what was said last (the same error of
    // another file); a whole lap's error repeats the last run's.
    void Fail(const std::string& path, const std::string& text, bool again = true) {
        FFailed = true;
        if (text.empty() || (!again && text == FLastTold)) return;
        FLastTold = text;
        Tell(path, text);
    }
    void RunFailed() {
        FFailed = true;
        const TAuOutput& out = FPlayer.Output();
        FPending = TPending{FPlayer.HeardEntry(), FPlayer.HeardTrack().Path, out.LastError(),
                            out.LastFault()};
    }
    // TPlaylistListener
    void EntryChanged(int index) override {
        const TEntry& e = FPlayer.List()[static_cast<size_t>(index)];
        if (e.Info.State == TEntryState::Failed && FToldFailed.insert(e.Id).second)
            Fail(e.FilePath, e.Info.Error);
        const auto shown = FShown.find(e.Id);
        if (shown == FShown.end() || shown->second == e.RowText || e.Id != FPlayer.HeardEntry())
            return;
        shown->second = e.RowText;
        std::printf("%s: %s\n", EscapeControls(e.FilePath).c_str(),
                    EscapeControls(e.RowText).c_str());
        std::fflush(stdout);
    }
    // TPlaybackListener. The sink's OnDone has been dealt with by the time
    // the heard entry changes: an entry it failed is marked by then.
    void PlaybackChanged() override {
        if (!FPending) return;
        const TPending pending = std::move(*FPending);
        FPending.reset();
        const TEntry* entry = FPlayer.List().Find(pending.Id);
        if (pending.Fault == TAuOutput::TFault::Device)
            Fail({}, pending.Error, false);  // no file's fault, and the same for each
        else if (entry == nullptr || entry->Info.State != TEntryState::Failed)
            Fail(pending.Path, pending.Error);
    }
    void Message(const std::string& text) override {
        const int selected = FPlayer.List().Selected();
        Fail(selected >= 0 ? FPlayer.List()[static_cast<size_t>(selected)].FilePath : std::string(),
             text);
    }
    void LapFailed(const std::string& error) override { Fail({}, error, false); }
    // Playback fell back to the system default: said, not a failure.
    void DeviceChanged() override {
        if (const auto state = FPlayer.Output().DeviceState(); state.FellBack)
            Tell({}, state.Message);
    }

    TPlaybackController& FPlayer;
    bool FFailed = false;
    std::string FLastTold;  // said once, whoever says it again
    std::set<TEntryId> FToldFailed;
    std::map<TEntryId, std::string> FShown;  // a stream entry's row as last printed
    std::optional<TPending> FPending;
};

int Play(const std::vector<std::string>& args) {
    TPlayOptions options;
    std::vector<std::string> paths;
    for (size_t i = 0; i < args.size(); ++i) {
        const TOption* option = nullptr;
        for (const TOption& o : kOptions)
            if (args[i] == o.Name) option = &o;
        if (option == nullptr) {
            paths.push_back(args[i]);
        } else if (i + 1 >= args.size() || !option->Take(args[++i], options)) {
            return UsageError(option->Needs);
        }
    }
    if (paths.empty()) return UsageError("play needs at least one file");
    std::vector<TPlaylistEntry> entries;
    bool failed = !Entries(paths, entries);
    if (entries.empty()) return failed ? 1 : 0;

    SetMainThread();
    // Ctrl+C and SIGTERM end the program, as a stream has no end of its own:
    // SDL would otherwise take both signals for quit events nobody reads.
    setenv("SDL_NO_SIGNAL_HANDLERS", "1", 0);
    TPlaylistModel list;
    TPlaybackController player(list);
    player.SetRepeat(TRepeat::StopAtEnd);
    if (options.Volume) player.SetVolume(static_cast<int>(-*options.Volume));
    player.Output().SetDeviceName(options.Device);
    player.MeasuredGain().SetMeasuring(options.Measure);
    if (options.Eq) player.Dsp().Equalizer().Set(*options.Eq);
    if (options.Crossfade > 0) {
        TCrossfadeSettings crossfade = player.Dsp().Crossfade().Settings();
        crossfade.Seconds = options.Crossfade;
        player.Dsp().Crossfade().Set(crossfade);
    }
    player.SetReplayGain(options.Gain);
    list.Append(std::move(entries));
    if (options.Gain.Mode == TReplayGainMode::Smart || options.Crossfade > 0) {
        // Smart gain, and where a crossfade may go, go by the album tags
        // around each file, which the window reads in the background; a
        // command line is short enough to read them before the first sound.
        for (size_t i = 0; i < list.size(); ++i) {
            const TEntry& e = list[i];
            if (IsUrl(e.FilePath) || !e.Range.Whole()) continue;
            TEntryInfo info = e.Info;
            info.Tags = ReadTrackTags(e.FilePath);
            list.SetInfo(e.Id, info);
        }
    }
    if (options.Measure) player.MeasuredGain().WaitCacheLoaded(kCacheWait);

    TPlayReport report(player);
    TStreamTitles titles(player);
    // An error that escapes one of the player's handlers (a track that
    // could not be started) is a failure like any other.
    SetMainThreadErrorHandler([&failed](std::exception_ptr error) {
        failed = true;
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            Tell({}, e.what());
        } catch (...) {
            Tell({}, "unknown error");
        }
    });
    list.Select(0);
    player.Play();
    // The sink's events run here, on the main thread, as the window's do.
    while (player.Playing()) {
        CheckSynchronize(kTick);
        titles.Poll();
    }
    return failed || report.Failed() ? 1 : 0;
}

TCommand playCmd("play",
                 "play [--volume V] [--replaygain track|album|off|auto|smart] [--device NAME] "
                 "[--eq G1,...,G10|PRESET] [--crossfade SECONDS] IN|URL|SHEET|PLAYLIST|FOLDER...",
                 &Play);

}  // namespace
}  // namespace quillet::cli
