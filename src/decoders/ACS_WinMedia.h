// TWMIn: the source for WMA files (and, through TMP3In, MP3 files; through
// TFFmpegIn, every other container FFmpeg reads for us). The reader record
// (libwma1.h) decodes through FFmpeg; the source picks one PCM output format,
// takes its length from the container (an estimate never ends a run: see
// SizeIsEstimate) and fills its ID3v2 tag set with seven header attributes.
//
// A NOTE ON THREADS (see ACS_Classes.h): OpenSource/CloseSource run under
// FOpenLock on the main thread (format queries, property changes) or the
// worker (run start and end); ReadBlock and SeekToSample run under FDataLock,
// on the worker or the thread that repositions. The property setters run on
// the main thread and take FDataLock, then FOpenLock, so they never reopen
// the reader under a run.
#pragma once

#include <cstdint>

#include "float_output.h"
#include "libwma1.h"
#include "tagged_file_in.h"

namespace quillet {

// Which output format the reader is asked for.
enum TChannelsNumber : uint8_t { cnMaxAvailable = 0, cnMonoOrStereo = 1, cn5dot1 = 2, cn7dot1 = 3 };

// The number handed to the reader: cnMaxAvailable -1, cnMonoOrStereo 0,
// cn5dot1 6, cn7dot1 8.
int ChannelRequest(TChannelsNumber value);

class TWMIn : public TAuTaggedFileIn, public TFloatOutput {
  public:
    explicit TWMIn(TComponent* owner = nullptr);
    ~TWMIn() override;
    const char* ClassName() const override { return "TWMIn"; }

    // Asks the reader for discrete output (24-bit formats). Ignored while
    // Active or while OutputChannels is not cnMonoOrStereo; otherwise stored,
    // and an open source is closed and opened again.
    bool HighPrecision() const { return FHighPrecision; }
    void SetHighPrecision(bool Value);
    // Ignored while Active; anything but cnMonoOrStereo also turns
    // HighPrecision on; an open source is closed and opened again.
    TChannelsNumber OutputChannels() const { return FOutputChannels; }
    void SetOutputChannels(TChannelsNumber Value);

    // Length in hundredths of a second (opens the file on demand).
    int64_t Hundredths();

    // Every stream this input reads can give floats: FFmpeg converts to them.
    void SetFloatOutput(bool Value) override;
    bool FloatOutput() const override { return FReader.FloatSamples; }

  protected:
    // For inputs that share this source with another reader profile.
    TWMIn(TComponent* owner, const TWMReaderProfile& profile);

    void ReadBlock(uint8_t*& Buffer, uint32_t& Bytes) override;
    bool SeekToSample(int64_t& SampleNum) override;
    void OpenSource() override;
    void CloseSource() override;

  private:
    // Under FDataLock: closes and opens again when open and not Active.
    void Reopen();

    TWMReader FReader;             // under FOpenLock (open/close), FDataLock (reading)
    int64_t FHundredths = 0;       // length in hundredths of a second
    int64_t FFileSampleCount = 0;  // frames of the whole file (FSampleCount may be a range's)
    bool FHighPrecision = false;   // written on the main thread under both locks
    TChannelsNumber FOutputChannels = cnMonoOrStereo;
};

}  // namespace quillet
