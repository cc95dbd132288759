// The loudness-correction fields taggers write beside the text tags:
// REPLAYGAIN_TRACK_GAIN, REPLAYGAIN_TRACK_PEAK, REPLAYGAIN_ALBUM_GAIN and
// REPLAYGAIN_ALBUM_PEAK (Vorbis comments, APEv2 items, ID3v2 TXXX
// descriptions), and Opus's R128_TRACK_GAIN and R128_ALBUM_GAIN. Each format's
// reader hands its items to one TReplayGainFields; this is the only place
// their values are parsed.
//
// Bad values are dropped, never guessed at: a gain must be a plain decimal
// number with an optional "dB" ("1e999", "+abc dB" and empty text are not),
// and a gain beyond +-24 dB is clamped to it, so a damaged tag cannot make
// the player deafening. A peak is kept only when it is above 0 and at most
// 10 (20 dB over full scale, far beyond any real file).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "replay_gain_info.h"

namespace quillet {

// "-6.02 dB", "+3.10dB", "2.5": the gain in dB, clamped to +-24.
std::optional<double> ParseGainDb(std::string_view text);
// "0.988547": a linear peak in (0, 10].
std::optional<double> ParsePeak(std::string_view text);
// "-512": Opus's Q7.8 gain relative to -23 LUFS, as a gain to the -18 LUFS
// reference of the other fields (5 dB more), clamped to +-24.
std::optional<double> ParseR128Gain(std::string_view text);

// Collects one file's gain fields, an item at a time. Keys match without
// regard to ASCII case; of several items with one key the first valid one
// counts; REPLAYGAIN_ fields win over R128_ ones.
class TReplayGainFields {
  public:
    // Every key read, for readers that look items up by name.
    static const std::array<const char*, 6> Keys;

    // False when Key is not a gain field (the value is then not looked at).
    bool Take(std::string_view Key, std::string_view Value);
    // A peak without its gain is dropped.
    TReplayGain Result() const;

  private:
    std::optional<double> FTrackGain, FTrackPeak, FAlbumGain, FAlbumPeak, FTrackR128, FAlbumR128;
};

// The gain fields of a list of Vorbis comments (KEY=value, as the FLAC and
// Ogg inputs receive them).
TReplayGain ReplayGainFromComments(const std::vector<std::string>& comments);

}  // namespace quillet
