// Content sniffing: when a file's extension names an input that cannot read
// what the file holds (an ".ogg" holding Opus, an ".mp3" holding a WAV), the
// file's first bytes choose another input we have. A file the extension's
// input reads keeps that input, and so does a file whose bytes say nothing
// we recognise.
//
// Cheap enough for the GUI thread: it reads the first bytes of a regular
// file (and the bytes after an ID3v2 tag), never opens a decoder, and never
// reads from a FIFO or a device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "input_table.h"

namespace quillet {

// What a file's first bytes show, as far as choosing an input needs it.
enum class TContentKind {
    ckUnknown,
    ckWave,       // RIFF/RF64/BW64 WAVE
    ckFlac,       // native FLAC
    ckOggVorbis,  // Ogg whose first stream is Vorbis
    ckOggOther,   // Ogg holding Opus, FLAC, Speex...
    ckMpegAudio,  // an MPEG audio frame header (layers 1-3)
    ckAsf,        // ASF (WMA)
    ckMusepack,   // SV7 or SV8
    ckFFmpeg,     // another container only the general FFmpeg input reads
};

// How many bytes SniffContent looks at (at most).
inline constexpr size_t kSniffBytes = 64;

// Classifies the first bytes of a file (after any ID3v2 tag).
TContentKind SniffContent(const uint8_t* data, size_t size);

// Whether an input of `kind` reads `content`.
bool InputReads(TInputKind kind, TContentKind content);

// The input chosen for a file of content `content` whose extension names
// `byExtension`: the extension's input unless it cannot read the content and
// another input can.
TInputKind ChooseInputKind(TInputKind byExtension, TContentKind content);

// The input that reads a recognised content (not ckUnknown).
TInputKind InputForContent(TContentKind content);

// The input for a file: FindInputKind, corrected by the file's first bytes
// as above. A file whose extension names no input is chosen for by its
// content alone; nullopt when that says nothing either ("Format not
// supported"). An address gives ikStream without a look at anything.
std::optional<TInputKind> InputKindFor(const std::string& path);

}  // namespace quillet
