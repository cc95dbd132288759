#include "loudness_meter.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "content_sniff.h"
#include "float_output.h"
#include "input_table.h"
#include "textfile.h"
#include "whole_units.h"

namespace quillet {

const char kMeasureCancelled[] = "Measuring was cancelled";

namespace {

// libebur128's histogram: step i holds the blocks from -70 + i/10 LUFS, and
// counts at the step's middle.
double StepEnergy(size_t i) {
    return std::pow(10.0, (static_cast<double>(i) / 10.0 - 69.95 + 0.691) / 10.0);
}
double StepStart(size_t i) {
    return std::pow(10.0, (static_cast<double>(i) / 10.0 - 70.0 + 0.691) / 10.0);
}
double Loudness(double energy) {
    return 10 * std::log10(energy) - 0.691;
}

// Feeds a run's PCM to the meter in whole frames, in the widths libebur128
// takes, and notes each gating block's loudness as it completes: a block
// ends every 100 ms from 400 ms on, and the momentary loudness then is
// exactly that block's.
class TMeterFeed {
  public:
    TMeterFeed(ebur128_state* meter, uint32_t channels, uint32_t rate, uint32_t width, bool floats)
        : FMeter(meter),
          FChannels(channels),
          FWidth(width),
          FFloats(floats),
          FStepFrames((rate + 5) / 10),
          FLeft(FStepFrames),
          FFrames(size_t{channels} * width) {}

    void Add(const uint8_t* data, size_t size) {
        const std::span<const uint8_t> whole = FFrames.Take(data, size);
        const size_t frameBytes = size_t{FChannels} * FWidth;
        size_t frames = whole.size() / frameBytes;
        const uint8_t* p = whole.data();
        while (frames > 0) {
            const size_t n = std::min<size_t>(frames, FLeft);
            AddFrames(p, n);
            p += n * frameBytes;
            frames -= n;
            FLeft -= n;
            if (FLeft == 0) EndStep();
        }
    }

    TBlockHistogram Blocks() const {
        TBlockHistogram h;
        for (uint16_t i = 0; i < TBlockHistogram::kSteps; ++i)
            if (FCounts[i] > 0) h.Steps.push_back({i, FCounts[i]});
        return h;
    }

  private:
    void AddFrames(const uint8_t* data, size_t frames) {
        TEbur128Lib& lib = Ebur128Lib();
        const size_t samples = frames * FChannels;
        int result = EBUR128_SUCCESS;
        if (FFloats) {
            FFloatBuffer.resize(samples);
            std::memcpy(FFloatBuffer.data(), data, samples * 4);
            result = lib.ebur128_add_frames_float(FMeter, FFloatBuffer.data(), frames);
        } else if (FWidth <= 2) {
            FShorts.resize(samples);
            if (FWidth == 2)
                std::memcpy(FShorts.data(), data, samples * 2);
            else
                for (size_t i = 0; i < samples; ++i)
                    FShorts[i] = static_cast<short>((data[i] - 128) * 256);
            result = lib.ebur128_add_frames_short(FMeter, FShorts.data(), frames);
        } else {
            FInts.resize(samples);
            if (FWidth == 4)
                std::memcpy(FInts.data(), data, samples * 4);
            else
                for (size_t i = 0; i < samples; ++i, data += 3) FInts[i] = Packed24High(data);
            result = lib.ebur128_add_frames_int(FMeter, FInts.data(), frames);
        }
        if (result != EBUR128_SUCCESS) throw EAuException("Out of memory");
    }

    void EndStep() {
        FLeft = FStepFrames;
        if (++FSteps < 4) return;
        double lufs = -HUGE_VAL;
        Ebur128Lib().ebur128_loudness_momentary(FMeter, &lufs);
        if (!(lufs >= -70.0)) return;  // below the absolute gate (or silent)
        const auto step = static_cast<size_t>((lufs + 70.0) * 10.0);
        ++FCounts[std::min<size_t>(step, TBlockHistogram::kSteps - 1)];
    }

    ebur128_state* FMeter;
    uint32_t FChannels, FWidth;
    bool FFloats;
    uint32_t FStepFrames;  // 100 ms, as libebur128 counts it
    uint32_t FLeft;        // frames until the current 100 ms are complete
    uint64_t FSteps = 0;   // 100 ms steps completed
    TWholeUnits FFrames;
    std::array<uint32_t, TBlockHistogram::kSteps> FCounts{};
    std::vector<short> FShorts;
    std::vector<int> FInts;
    std::vector<float> FFloatBuffer;
};

}  // namespace

double GatedLoudness(std::span<const TBlockHistogram* const> files) {
    // Blocks above the absolute gate, then those within 10 LU of their mean.
    auto mean = [&](size_t from) {
        double energy = 0, count = 0;
        for (const TBlockHistogram* h : files)
            for (const TBlockHistogram::TStep& s : h->Steps)
                if (s.Index >= from && s.Index < TBlockHistogram::kSteps) {
                    energy += s.Count * StepEnergy(s.Index);
                    count += s.Count;
                }
        return count > 0 ? energy / count : 0.0;
    };
    const double ungated = mean(0);
    if (ungated <= 0) return -HUGE_VAL;
    const double threshold = ungated * 0.1;
    size_t from = 0;
    if (threshold >= StepStart(0)) {
        from = static_cast<size_t>(
            std::clamp((Loudness(threshold) + 70.0) * 10.0, 0.0, TBlockHistogram::kSteps - 1.0));
        // The search libebur128 makes: the step the threshold falls in, and
        // the next one when the threshold lies above that step's middle.
        while (from + 1 < TBlockHistogram::kSteps && StepStart(from + 1) <= threshold) ++from;
        while (from > 0 && StepStart(from) > threshold) --from;
        if (threshold > StepEnergy(from)) ++from;
    }
    const double gated = mean(from);
    return gated > 0 ? Loudness(gated) : -HUGE_VAL;
}

TLoudness MeasureFile(const std::string& path, const TMeasureOptions& options) {
    RequireLibraries({&Ebur128Lib()});
    TEbur128Lib& lib = Ebur128Lib();
    // A FIFO or a device named like a sound file would block the open.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) throw EAuException(FileErrorText(errno));
    if (!S_ISREG(st.st_mode)) throw EAuException("not a regular file");
    const std::optional<TInputKind> kind = InputKindFor(path);
    Owned<TAuFileIn> input(kind ? CreateInput(*kind, nullptr) : nullptr);
    if (!input) throw EAuException("Format not supported");
    input->SetFileName(path);
    auto* floats = dynamic_cast<TFloatOutput*>(input.get());
    if (floats) floats->SetFloatOutput(true);
    const bool isFloat = floats && floats->FloatOutput();
    if (options.UntaggedOnly) {
        const TReplayGain tags = input->ReplayGain();
        if (tags.Track || tags.Album) {
            TLoudness tagged;
            tagged.Tagged = true;
            return tagged;
        }
    }

    input->BeginRead();
    struct TEnd {
        TAuFileIn& In;
        ~TEnd() {
            try {
                In.EndRead();
            } catch (...) {
            }
        }
    } end{*input};
    const uint32_t channels = input->GetChannels(), rate = input->GetSampleRate(),
                   bits = input->GetBitsPerSample();
    const uint32_t width = bits / 8;
    if (!input->IsValid() || channels == 0 || rate == 0 || bits % 8 != 0 || width < 1 ||
        width > 4 || (isFloat && width != 4))
        throw EAuException("not a file this input can read");
    int mode = EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK | EBUR128_MODE_HISTOGRAM;
    if (options.Range) mode |= EBUR128_MODE_LRA;
    TEbur128State meter(lib.ebur128_init(channels, rate, mode));
    if (!meter) throw EAuException("the loudness meter cannot take this format");
    // 7.1 in the WAVE order: the side pair counts as surround too.
    if (channels == 8) {
        lib.ebur128_set_channel(meter.get(), 6, EBUR128_LEFT_SURROUND);
        lib.ebur128_set_channel(meter.get(), 7, EBUR128_RIGHT_SURROUND);
    }
    TMeterFeed feed(meter.get(), channels, rate, width, isFloat);
    for (;;) {
        if (options.Cancel && options.Cancel->load()) throw EAuException(kMeasureCancelled);
        uint8_t* block = nullptr;
        uint32_t bytes = 1u << 18;
        input->GetBlock(block, bytes);
        if (bytes == 0 || !block) break;
        feed.Add(block, bytes);
    }

    TLoudness result;
    lib.ebur128_loudness_global(meter.get(), &result.Integrated);
    if (options.Range) lib.ebur128_loudness_range(meter.get(), &result.Range);
    for (uint32_t c = 0; c < channels; ++c) {
        double peak = 0;
        if (lib.ebur128_true_peak(meter.get(), c, &peak) == EBUR128_SUCCESS && peak > 0 &&
            std::isfinite(peak))
            result.TruePeak = std::max(result.TruePeak, peak);
    }
    result.Blocks = feed.Blocks();
    if (options.KeepMeter)
        result.Meter = std::make_shared<TMeterState>(TMeterState{std::move(meter)});
    return result;
}

double SetLoudnessRange(std::span<const TLoudness* const> files) {
    std::vector<ebur128_state*> meters;
    for (const TLoudness* f : files)
        if (f->Meter) meters.push_back(f->Meter->State.get());
    double range = 0;
    if (!meters.empty())
        Ebur128Lib().ebur128_loudness_range_multiple(meters.data(), meters.size(), &range);
    return range;
}

std::optional<TGainInfo> GainForLoudness(double lufs, double truePeak) {
    if (!std::isfinite(lufs)) return std::nullopt;
    const double gain = std::clamp(kReferenceLufs - lufs, -kMaxReplayGainDb, kMaxReplayGainDb);
    return TGainInfo{gain, std::isfinite(truePeak) && truePeak > 0 ? truePeak : 0};
}

}  // namespace quillet
