#include "session_state.h"

#include <charconv>
#include <filesystem>
#include <system_error>

#include "text.h"
#include "textfile.h"

namespace quillet {
namespace {

constexpr int kVolumeMin = 0;
constexpr int kVolumeMax = 10000;

bool ParseInt(const std::string& text, int& value) {
    const std::optional<int> number = ParseWholeNumber<int>(text);
    if (number) value = *number;
    return number.has_value();
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

void WriteSettings(TStateSection& ini, const TSessionState& state) {
    ini.Write("Volume", std::to_string(state.Volume));
    ini.Write("Repeat", std::string(RepeatName(state.Repeat)));
    ini.Write("Shuffle", state.Shuffle ? "1" : "0");
    ini.Write("ReplayGain", std::string(ReplayGainModeName(state.Gain.Mode)));
    char preamp[32];
    const auto written = std::to_chars(preamp, preamp + sizeof preamp, state.Gain.PreampDb);
    ini.Write("PreAmp", std::string(preamp, written.ptr));
}

}  // namespace

TSessionState LoadSessionState(const std::string& folder) {
    TSessionState state = LoadSessionSettings(folder);
    if (folder.empty()) return state;
    try {
        OpenPlaylistEntries(folder + kStatePlaylistName, state.Entries);
    } catch (const std::exception&) {
        state.Entries.clear();
    }
    int value = 0;
    if (ParseInt(TStateSection(folder, kSessionSection).Read("Row"), value) && value >= 0 &&
        value < static_cast<int>(state.Entries.size()))
        state.Row = value;
    return state;
}

TSessionState LoadSessionSettings(const std::string& folder) {
    TSessionState state;
    // A new session chooses the gain by what plays: the album's for an album
    // in order, the track's otherwise.
    state.Gain.Mode = TReplayGainMode::Smart;
    if (folder.empty()) return state;
    const TStateSection ini(folder, kSessionSection);
    int value = 0;
    if (ParseInt(ini.Read("Volume"), value) && value >= kVolumeMin && value <= kVolumeMax)
        state.Volume = value;
    state.Repeat = RepeatNamed(ini.Read("Repeat")).value_or(TRepeat::List);
    state.Shuffle = ini.Read("Shuffle") == "1";
    state.Gain.Mode = ParseReplayGainMode(ini.Read("ReplayGain")).value_or(state.Gain.Mode);
    state.Gain.PreampDb = ParsePreampDb(ini.Read("PreAmp")).value_or(state.Gain.PreampDb);
    return state;
}

void SaveSessionState(const std::string& folder, const TSessionState& state) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::vector<TPlaylistEntry> entries;
    entries.reserve(state.Entries.size());
    // Rows left out shift the ones after them: the saved row follows its entry.
    int row = -1;
    for (size_t i = 0; i < state.Entries.size(); ++i) {
        TPlaylistEntry entry = state.Entries[i];
        if (entry.FilePath.empty() || HasLineBreak(entry.FilePath)) continue;
        for (char& c : entry.Title)
            if (c == '\r' || c == '\n') c = ' ';
        if (static_cast<int>(i) == state.Row) row = static_cast<int>(entries.size());
        entries.push_back(std::move(entry));
    }
    WriteM3uPlaylist(folder + kStatePlaylistName, entries);
    TStateSection ini(folder, kSessionSection);
    ini.Write("Row", std::to_string(row));
    WriteSettings(ini, state);
    ini.Save();
}

void SaveSessionSettings(const std::string& folder, const TSessionState& state) {
    TStateSection ini(folder, kSessionSection);
    WriteSettings(ini, state);
    ini.Save();
}

}  // namespace quillet
