// TStreamIn: internet radio and other audio over HTTP. FileName is the
// address: http:// or https://, or icy:// and icyx:// (read as http). Any
// other address (file://, ftp://, ...) is refused with a clear message and
// never opened. FFmpeg reads the address itself with the network protocols
// only (http, https, tcp, tls; HLS playlists with their segments over the
// same), through the reader record the FFmpeg inputs share (libwma1.h), so a
// local file still never reaches a network protocol or another file.
//
// The network is read on a thread of the input's own, decoded there into a
// ring of kBufferSeconds of PCM; the run takes its blocks from the ring:
// - Opening (the format queries, BeginRead) connects and waits until the
//   format is known and kStartSeconds of sound are held (or the stream has
//   ended), at most kOpenTimeoutSeconds: call it off the GUI thread. An HLS
//   list's nested lists and segments count within that time and within a
//   bound of requests, so a list that leads to itself fails with one
//   message (kStreamOpenFailed) rather than growing.
// - A stall shorter than what the ring holds is not heard. When the ring runs
//   dry the run gets silence, paced by the clock (a run that reads faster than
//   real time, such as a decode to a file, waits instead while it is more
//   than kLeadSeconds ahead), so a slow network never ends the run or starves
//   the sink. Sound resumes once kResumeSeconds are held again.
// - A live stream that breaks off (the server went away, a reset, a read
//   stalled for kStallTimeoutSeconds) is opened anew, at most kReconnects
//   times in a row (0.5, 1, 2, 4 and 4 s apart: a server restarting has 11 s
//   to come back; a connection that gave 30 s of sound starts the count
//   afresh); the sound keeps the format it had. After that the run ends with one clear message
//   (EAuException from the block that finds the ring empty). A resource of known size (a file on a
//   web server) or an HLS playlist simply ends at its end.
// - The input has no length (DataSize -1) and cannot seek (CanSeek false).
//   The player never opens it ahead of its turn (the gapless chain takes no
//   stream): a stream starts when it is reached.
// - A server whose ICY blocks come every few bytes (so FFmpeg reads the
//   socket a few bytes at a time) is opened anew once, without asking for
//   titles: the stream plays at a normal stream's cost, untitled.
// - Titles: the station's name (icy-name), ICY StreamTitle blocks and an Ogg
//   stream's comments (each chained song brings its own) are published as
//   they come: StreamInfo and TitleSerial, safe from any thread.
//
// A NOTE ON THREADS
// - Main thread or a sink's worker: OpenSource/CloseSource (under FOpenLock),
//   ReadBlock (under FDataLock), as for every TAuFileIn.
// - The input's reader thread: everything FFmpeg does for it (connect,
//   demux, decode, reconnect), from OpenSource until CloseSource joins it.
// - Any thread: StreamInfo, TitleSerial, Interrupt.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ACS_Classes.h"

namespace quillet {

// What a stream says about itself; all text UTF-8.
struct TStreamInfo {
    std::string Station;  // icy-name; empty when the server gives none
    std::string Artist;   // of the song playing now (StreamTitle or Ogg comments)
    std::string Title;
    std::string Format;  // FFmpeg's container and codec names: "mp3", "ogg/vorbis"
    bool operator==(const TStreamInfo&) const = default;
};

// The clear messages a stream ends with (the reason follows where FFmpeg
// gives one).
extern const char kStreamRefused[];     // an address of another scheme
extern const char kStreamNoAnswer[];    // no sound within kOpenTimeoutSeconds
extern const char kStreamNoAudio[];     // the address gives no audio we decode
extern const char kStreamOpenFailed[];  // "Could not open the stream"
extern const char kStreamLost[];        // reconnects exhausted
extern const char kStreamBrokeOff[];    // a resource of known size ended early
extern const char kStreamStopped[];     // Interrupt

class TStreamReader;

class TStreamIn : public TAuFileIn {
  public:
    // Decoded sound the ring holds at most, and what it must hold before the
    // first block and after a gap.
    static constexpr double kBufferSeconds = 4;
    // Little, so a station is heard within half a second of answering; the
    // sink takes only what is held (BufferedBytes), and a server's burst
    // grows the buffer while it plays.
    static constexpr double kStartSeconds = 0.3;
    static constexpr double kResumeSeconds = 1;
    // A run this far ahead of the clock waits for data rather than take
    // silence: a listener still has that much sound to hear (a sink takes
    // only what is held, so its ring is about this far ahead; a decode to a
    // file runs ahead as far as the data lets it).
    static constexpr double kLeadSeconds = 0.1;
    static constexpr int kOpenTimeoutSeconds = 10;
    static constexpr int kStallTimeoutSeconds = 10;
    static constexpr int kReconnects = 5;

    explicit TStreamIn(TComponent* owner = nullptr);
    ~TStreamIn() override;
    const char* ClassName() const override { return "TStreamIn"; }

    // The latest station name, song and format (empty until opened; a new
    // open starts afresh, a close keeps the last).
    TStreamInfo StreamInfo() const;
    // Counts the changes of StreamInfo: poll it, and read StreamInfo when it
    // moved.
    uint32_t TitleSerial() const { return FTitleSerial.load(); }
    // Ends a pending open ("Stopped") and the current run's data at once,
    // from any thread (a slow connect the user gave up on). Holds until the
    // input is closed (CloseSource, SetFileName, the end of the run).
    void Interrupt();
    // The sound decoded and not yet taken (the reading thread).
    int64_t BufferedBytes() const override;

  protected:
    void ReadBlock(uint8_t*& Buffer, uint32_t& Bytes) override;
    bool SeekToSample(int64_t& SampleNum) override;
    void OpenSource() override;
    void CloseSource() override;

  private:
    friend class TStreamReader;
    // The reader thread's publication of what it learnt.
    void Publish(const TStreamInfo& info);

    std::unique_ptr<TStreamReader> FReader;  // under FOpenLock; its thread lives as long
    std::string FOpenError;       // under FOpenLock: why the last open failed, until closed
    std::vector<uint8_t> FBlock;  // under FDataLock: the block handed out
    std::atomic<bool> FInterrupted{false};
    mutable std::mutex FInfoLock;
    TStreamInfo FInfo;  // under FInfoLock
    std::atomic<uint32_t> FTitleSerial{0};
};

}  // namespace quillet
