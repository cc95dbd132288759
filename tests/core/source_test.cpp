// The source contract on a synthetic decoder: ranges, end clipping, looping,
// positioning and FillBuffer's end semantics.
#include <gtest/gtest.h>

#include <limits>

#include "lying_stream.h"
#include "synthetic.h"

using namespace quillet;
using namespace quillet::test;

namespace {

// Reads a whole run through FillBuffer in chunks of `chunk` bytes.
std::vector<uint8_t> ReadRun(TAuInput& in, int32_t chunk = 777) {
    std::vector<uint8_t> out, buf(static_cast<size_t>(chunk));
    bool end = false;
    for (int guard = 0; guard < 100000 && !end; ++guard) {
        const int32_t n = in.FillBuffer(buf.data(), chunk, end);
        out.insert(out.end(), buf.begin(), buf.begin() + n);
    }
    return out;
}

TEST(Source, WholeFileRunKeepsTheDecodersSizeAndEndsExactly) {
    SyntheticSource s({.frames = 1000, .blockBytes = 333});
    s.BeginRead();
    EXPECT_EQ(s.DataSize(), 4000);
    EXPECT_EQ(ReadRun(s), PatternBytes(0, 4000));
    s.EndRead();
    EXPECT_FALSE(s.Active());
}

TEST(Source, RangeNarrowsSizeAndClipsTheLastBlock) {
    SyntheticSource s({.frames = 1000, .blockBytes = 1000});  // blocks overrun the range
    s.SetStartSample(100);
    s.SetEndSample(199);
    s.BeginRead();
    EXPECT_EQ(s.DataSize(), 100 * 4);
    EXPECT_EQ(s.GetSampleCount() >= 0, true);
    EXPECT_EQ(ReadRun(s), PatternBytes(400, 400));
    EXPECT_EQ(s.Delivered(), 400);
    s.EndRead();
    // A range serves one run only.
    EXPECT_EQ(s.StartSample(), 0);
    EXPECT_EQ(s.EndSample(), -1);
}

TEST(Source, EndBeyondTheFileMeansToTheEnd) {
    SyntheticSource s({.frames = 1000});
    s.SetStartSample(10);
    s.SetEndSample(5000);
    s.BeginRead();
    EXPECT_EQ(s.DataSize(), (1000 - 10 + 1) * 4);
    s.EndRead();
}

TEST(Source, StartPointOnANonSeekableSourceStaysAtItsBeginning) {
    SyntheticSource s({.frames = 100, .seekable = false});
    s.GetChannels();  // opened: now it knows it cannot seek
    EXPECT_FALSE(s.GoToSample(10));
    s.SetStartSample(10);
    s.BeginRead();
    const auto data = ReadRun(s);
    // Nothing can move it: the data starts at frame 0, the size is narrowed.
    EXPECT_EQ(data, PatternBytes(0, (100 - 10 + 1) * 4));
    s.EndRead();
}

TEST(Source, UnknownSizeEndsOnlyWhenTheDecoderDoes) {
    SyntheticSource s({.frames = 100, .unknownSize = true});
    s.BeginRead();
    EXPECT_EQ(s.DataSize(), -1);
    EXPECT_EQ(ReadRun(s).size(), 400u);
    s.EndRead();
}

TEST(Source, FillBufferReportsTheEndOnlyWhenNothingCame) {
    SyntheticSource s({.frames = 250, .blockBytes = 300});  // 1000 bytes
    s.BeginRead();
    std::vector<uint8_t> buf(1000);
    bool end = true;
    EXPECT_EQ(s.FillBuffer(buf.data(), 1000, end), 1000);
    EXPECT_FALSE(end);  // filled exactly by the last bytes
    EXPECT_EQ(s.FillBuffer(buf.data(), 1000, end), 0);
    EXPECT_TRUE(end);
    end = false;
    EXPECT_EQ(s.FillBuffer(buf.data(), 0, end), 0);
    EXPECT_TRUE(end);
    // After the end the decoder is not asked again.
    const int reads = s.Reads;
    uint8_t* p = reinterpret_cast<uint8_t*>(1);
    uint32_t n = 100;
    s.GetBlock(p, n);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(s.Reads, reads);
    s.EndRead();
}

TEST(Source, LoopOnASeekableSourceDeliversTheNextPassAtOnce) {
    SyntheticSource s({.frames = 100, .blockBytes = 150});  // 400 bytes
    s.SetLoop(true);
    s.BeginRead();
    std::vector<uint8_t> got;
    for (int i = 0; i < 3; ++i) {
        uint8_t* p = nullptr;
        uint32_t n = 150;
        s.GetBlock(p, n);
        got.insert(got.end(), p, p + n);
    }
    // The third request met the end (only 100 bytes left) and delivered the
    // first block of the next pass instead.
    std::vector<uint8_t> want = PatternBytes(0, 300);
    const auto again = PatternBytes(0, 150);
    want.insert(want.end(), again.begin(), again.end());
    EXPECT_EQ(got, want);
    uint8_t* p = nullptr;
    uint32_t n = 150;
    s.GetBlock(p, n);
    EXPECT_EQ(std::vector<uint8_t>(p, p + n), PatternBytes(150, 150));
    EXPECT_EQ(s.Delivered(), 300);
    EXPECT_GE(s.Seeks, 1);
    s.EndRead();
}

TEST(Source, LoopMeetingTheEndReturnsTheFirstBlockOfTheNextPass) {
    SyntheticSource s({.frames = 100, .blockBytes = 400});
    s.SetLoop(true);
    s.BeginRead();
    uint8_t* p = nullptr;
    uint32_t n = 400;
    s.GetBlock(p, n);  // the whole pass; meets the end; restarts
    EXPECT_EQ(n, 400u);
    EXPECT_EQ(std::vector<uint8_t>(p, p + n), PatternBytes(0, 400));
    EXPECT_EQ(s.Delivered(), 400);
    s.EndRead();
}

TEST(Source, LoopOnANonSeekableSourceReopens) {
    SyntheticSource s({.frames = 100, .blockBytes = 400, .seekable = false});
    s.SetLoop(true);
    s.BeginRead();
    const int opens = s.Opens;
    uint8_t* p = nullptr;
    uint32_t n = 400;
    s.GetBlock(p, n);
    EXPECT_EQ(s.Opens, opens + 1);
    EXPECT_EQ(std::vector<uint8_t>(p, p + n), PatternBytes(0, 400));
    EXPECT_TRUE(s.Active());
    s.EndRead();
}

TEST(Source, GoToSampleLimitsAndIdleStartPoint) {
    SyntheticSource s({.frames = 1000});
    s.BeginRead();
    EXPECT_FALSE(s.GoToSample(1001));
    EXPECT_TRUE(s.GoToSample(1000));
    EXPECT_TRUE(s.GoToSample(500));
    EXPECT_EQ(s.Delivered(), 2000);
    std::vector<uint8_t> buf(8);
    bool end;
    s.FillBuffer(buf.data(), 8, end);
    EXPECT_EQ(buf, PatternBytes(2000, 8));
    s.EndRead();

    EXPECT_TRUE(s.GoToSample(300));  // idle: the next run starts there
    EXPECT_EQ(s.StartSample(), 300);
    s.BeginRead();
    s.FillBuffer(buf.data(), 8, end);
    EXPECT_EQ(buf, PatternBytes(1200, 8));
    EXPECT_EQ(s.DataSize(), (1000 - 300 + 1) * 4);
    s.EndRead();
}

TEST(Source, SeekPercentClampsAndRoundsHalfToEven) {
    SyntheticSource s({.frames = 1000});
    s.BeginRead();
    ASSERT_TRUE(s.GoToSample(950));
    s.SeekPercent(10);  // 95 % + 10 % -> clamped to the end of the range
    EXPECT_EQ(s.Pos, 1000 * 4);
    s.SeekPercent(-200);
    EXPECT_EQ(s.Pos, 0);
    s.EndRead();

    SyntheticSource odd({.frames = 5});
    odd.BeginRead();
    odd.SeekPercent(50);  // 2.5 frames -> 2 (halves to even)
    EXPECT_EQ(odd.Pos, 2 * 4);
    odd.EndRead();

    SyntheticSource fixed({.frames = 100, .seekable = false});
    fixed.BeginRead();
    fixed.SeekPercent(50);
    EXPECT_EQ(fixed.Seeks, 0);
    fixed.EndRead();
}

// The caller's range on sources whose length the file does not vouch for:
// unknown (-1), or an estimate shorter than the data. The range cuts where
// asked; only an exact count limits the end.
TEST(Source, RangesCutWhereAskedWhateverTheLength) {
    const SyntheticFormat unknown{.frames = 1000, .unknownSize = true};
    const SyntheticFormat estimate{.frames = 1000, .estimatedFrames = 500};
    const SyntheticFormat exact{.frames = 1000};
    struct Case {
        const char* what;
        SyntheticFormat format;
        int64_t start, end;
        int64_t firstFrame, frames;  // what the run delivers
        int64_t dataSize;            // at the run's start
    } cases[] = {
        {"unknown, end only", unknown, -1, 999, 0, 1000, 4000},
        {"unknown, start and end", unknown, 10, 99, 10, 90, 360},
        {"unknown, start only", unknown, 10, -1, 10, 990, -1},
        {"estimate, whole file", estimate, -1, -1, 0, 1000, 2000},
        {"estimate, end past it", estimate, -1, 799, 0, 800, 3200},
        {"estimate, start past it", estimate, 600, -1, 600, 400, -1},
        {"exact, start past the end", exact, 2000, -1, 0, 0, 0},
        {"exact, end past the end", exact, 10, 5000, 10, 990, 991 * 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SyntheticSource s(c.format);
        if (c.start >= 0) s.SetStartSample(c.start);
        if (c.end >= 0) s.SetEndSample(c.end);
        s.BeginRead();
        EXPECT_EQ(s.DataSize(), c.dataSize);
        EXPECT_EQ(ReadRun(s), PatternBytes(c.firstFrame * 4, c.frames * 4));
        s.EndRead();
    }
}

// Time ranges (a CUE sheet's tracks) become samples by the file's own rate:
// tracks cut at CD frames tile the file without a sample lost or repeated,
// also at a rate 1/75 s is no whole number of samples of; an offset starts
// inside the range and counts as played.
TEST(Source, TimeRangesTileTheFileAtAnyRate) {
    constexpr int64_t cd = kFlicksPerSecond / 75;
    for (const uint32_t rate : {44100u, 32000u}) {
        SCOPED_TRACE(rate);
        const SyntheticFormat f{.rate = rate, .frames = rate * 2};
        std::vector<uint8_t> joined;
        const int64_t cuts[] = {0, 37 * cd, 38 * cd, 101 * cd, -1};
        for (size_t i = 0; i + 1 < std::size(cuts); ++i) {
            SyntheticSource s(f);
            s.SetTimeRange({cuts[i], cuts[i + 1]});
            s.BeginRead();
            const std::vector<uint8_t> part = ReadRun(s);
            EXPECT_EQ(s.DataSize() < 0 || cuts[i + 1] < 0 ||
                          s.DataSize() == static_cast<int64_t>(part.size()),
                      true);
            joined.insert(joined.end(), part.begin(), part.end());
            s.EndRead();
        }
        EXPECT_EQ(joined, PatternBytes(0, f.frames * 4));
    }
    SyntheticSource s({.rate = 44100, .frames = 44100});
    s.SetTimeRange({kFlicksPerSecond / 10, kFlicksPerSecond / 2}, kFlicksPerSecond / 10);
    s.BeginRead();
    EXPECT_EQ(s.DataSize(), 17640 * 4);  // 0.1 s .. 0.5 s
    EXPECT_EQ(s.Delivered(), 4410 * 4);  // resumed 0.1 s in
    EXPECT_EQ(ReadRun(s), PatternBytes(8820 * 4, 13230 * 4));
    s.EndRead();
    // One run only; an offset past the end starts at the range's beginning.
    s.BeginRead();
    EXPECT_EQ(s.DataSize(), 44100 * 4);
    s.EndRead();
    s.SetTimeRange({0, kFlicksPerSecond / 2}, kFlicksPerSecond);
    s.BeginRead();
    EXPECT_EQ(s.Delivered(), 0);
    s.EndRead();
}

// A CUE track's seeks count from the track's start and stay inside it; a
// track the file does not reach fails its run with its own message; the
// sheet's gains stand in only for a file without gains of its own.
TEST(Source, TimeRangeSeeksStayInsideAndAFileTooShortSaysSo) {
    SyntheticSource s({.rate = 44100, .frames = 44100});
    s.SetTimeRange({kFlicksPerSecond / 4, kFlicksPerSecond / 2});  // frames 11025..22049
    s.BeginRead();
    EXPECT_FALSE(s.GoToSample(11026));
    s.SeekPercent(50);  // half the track, not half the file
    EXPECT_EQ(ReadRun(s), PatternBytes((11025 + 5512) * 4, (11025 - 5512) * 4));
    s.EndRead();

    // A last track's length is exact: to the file's end, and no further.
    for (const int64_t end : {int64_t{-1}, 2 * kFlicksPerSecond}) {
        s.SetTimeRange({kFlicksPerSecond / 2, end});
        s.BeginRead();
        EXPECT_EQ(s.DataSize(), 22050 * 4);
        EXPECT_EQ(ReadRun(s), PatternBytes(22050 * 4, 22050 * 4));
        s.EndRead();
    }

    s.SetTimeRange({kFlicksPerSecond, -1});
    EXPECT_THROW(
        try { s.BeginRead(); } catch (const EAuException& e) {
            EXPECT_STREQ(e.what(), kTrackPastEnd);
            throw;
        },
        EAuException);
    s.EndRead();

    TReplayGain sheet;
    sheet.Album = TGainInfo{-3, 0.5};
    s.SetFallbackReplayGain(sheet);
    EXPECT_EQ(s.ReplayGain(), sheet);
    s.SetFileName("other.raw");  // belongs to the track it was set for
    EXPECT_EQ(s.ReplayGain(), TReplayGain{});
}

TEST(Source, WithoutALengthPercentSeeksDoNothingAndFrameSeeksWork) {
    SyntheticSource s({.frames = 1000, .unknownSize = true});
    EXPECT_EQ(s.GetSampleCount(), -1);
    EXPECT_TRUE(s.GoToSample(500));  // idle: an unknown count limits nothing
    s.BeginRead();
    std::vector<uint8_t> buf(8);
    bool end;
    s.FillBuffer(buf.data(), 8, end);
    EXPECT_EQ(buf, PatternBytes(2000, 8));
    const int seeks = s.Seeks;
    s.SeekPercent(10);
    s.SeekPercent(-200);
    EXPECT_EQ(s.Seeks, seeks);
    EXPECT_EQ(s.Delivered(), 8);
    s.EndRead();
}

TEST(Source, ANewFileNameStartsWithTheWholeFile) {
    SyntheticSource s({.frames = 1000});
    s.GetSampleCount();
    ASSERT_TRUE(s.GoToSample(300));  // the position bar moved while stopped
    s.SetEndSample(400);
    s.SetFileName("next.raw");
    EXPECT_EQ(s.StartSample(), 0);
    EXPECT_EQ(s.EndSample(), -1);
    EXPECT_EQ(s.Delivered(), 0);
    s.BeginRead();
    EXPECT_EQ(s.DataSize(), 4000);
    EXPECT_EQ(ReadRun(s), PatternBytes(0, 4000));
    s.EndRead();
}

TEST(Source, OpeningFailureArrivesAsAnAuExceptionWithTheDecodersWords) {
    SyntheticSource s({.openError = "Bad header"});
    try {
        s.BeginRead();
        FAIL();
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "Bad header");
    }
    // The failed start left it active until the run is ended.
    EXPECT_TRUE(s.Active());
    try {
        s.BeginRead();
        FAIL();
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "The component is Busy");
    }
    s.EndRead();
    EXPECT_FALSE(s.Active());
}

TEST(Source, QueriesOpenOnDemand) {
    SyntheticSource s({.channels = 1, .bits = 8, .rate = 8000, .frames = 12000});
    EXPECT_EQ(s.GetChannels(), 1u);
    EXPECT_EQ(s.GetSampleRate(), 8000u);
    EXPECT_EQ(s.GetSampleCount(), 12000);
    EXPECT_EQ(s.GetDuration(), 2);  // 1.5 s rounds half to even
    EXPECT_EQ(s.Opens, 1);
    s.SetFileName("other.raw");  // closes
    EXPECT_EQ(s.GetBitsPerSample(), 8u);
    EXPECT_EQ(s.Opens, 2);
}

TEST(Source, NoFileNameNoStream) {
    SyntheticSource s;
    s.SetFileName("");
    try {
        s.BeginRead();
        FAIL();
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "The file name is not assigned");
    }
    s.Reset();
    EXPECT_FALSE(s.Active());
}

TEST(FileStream, MissingFileRaisesTheSystemsText) {
    try {
        TAuFileStream f(u"/nonexistent/quillet/file.wav", fmShareDenyWrite);
        FAIL();
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "No such file or directory");
    }
    EXPECT_THROW(TAuFileStream(u"/", fmShareDenyWrite), EAuException);  // a folder
}

TEST(FileStream, MemoryStreamReadsSeeksAndWrites) {
    TMemoryStream m;
    EXPECT_EQ(m.Write("abcdef", 6), 6);
    EXPECT_EQ(m.Seek(2, TSeekOrigin::soBeginning), 2);
    char buf[8] = {};
    EXPECT_EQ(m.Read(buf, 8), 4);
    EXPECT_STREQ(buf, "cdef");
    EXPECT_EQ(m.Seek(-10, TSeekOrigin::soCurrent), -1);
    EXPECT_EQ(m.Size(), 6);

    // Positions that do not fit fail cleanly, and so does a write whose end
    // would not. (A merely huge write is left out: AddressSanitizer aborts on
    // the allocation instead of letting it fail.)
    const int64_t top = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(m.Seek(top, TSeekOrigin::soCurrent), -1);
    EXPECT_EQ(m.Seek(top - 1, TSeekOrigin::soBeginning), top - 1);
    EXPECT_EQ(m.Write("x", 2), 0);
    EXPECT_EQ(m.Size(), 6);
}

TEST(FileStream, SizeHoldsOnlyWhenTheLastClaimedByteReads) {
    const uint8_t bytes[100] = {};
    TMemoryStream honest(bytes, sizeof bytes);
    honest.Seek(40, TSeekOrigin::soBeginning);
    EXPECT_TRUE(SizeHolds(honest));
    EXPECT_EQ(honest.Position(), 40);  // kept
    TMemoryStream empty;
    EXPECT_TRUE(SizeHolds(empty));

    // Fault bits of the lying stream: 1 doubled size, 2 halved, 3 unknown,
    // 32 no seeking, 64 absurd size.
    for (uint8_t lie : {1, 3, 32, 64}) {
        LyingStream s(bytes, sizeof bytes, lie, 0);
        EXPECT_FALSE(SizeHolds(s)) << int(lie);
    }
    LyingStream shorter(bytes, sizeof bytes, 2, 0);  // short claims do no harm
    EXPECT_TRUE(SizeHolds(shorter));
}

}  // namespace
