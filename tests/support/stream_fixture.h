// What the stream tests share: a helper process on the loopback interface
// (the bad-station server, a plain web server, the CLI), the sources they
// serve, and the measures taken of a recording (where it lies in its source,
// and the silences in it).
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "decoders/codec_fixture.h"

namespace quillet::test {

// A command run by /bin/sh with a pipe on its standard input and output: its
// first output line is read at start (a server's port). Closing the input
// and killing it ends it; the destructor does both and reaps it.
class TProcess {
  public:
    explicit TProcess(const std::string& command, bool readLine = true) {
        // Servers started by scripts that return at once are orphaned: reap
        // them here rather than leave zombies.
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        FPid = fork();
        if (FPid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[0]), close(in[1]), close(out[0]), close(out[1]);
            setpgid(0, 0);  // one group: a kill reaches what it started
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        FIn = in[1];
        FOut = fdopen(out[0], "r");
        if (readLine) FLine = ReadLine();
    }
    ~TProcess() { Stop(); }
    TProcess(const TProcess&) = delete;
    TProcess& operator=(const TProcess&) = delete;

    const std::string& Line() const { return FLine; }
    // The shell's process id (the command's own when it was started with
    // "exec"); -1 once reaped.
    pid_t Pid() const { return FPid; }
    std::string ReadLine() {
        char buf[4096];
        if (!FOut || !fgets(buf, sizeof buf, FOut)) return {};
        std::string line(buf);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        return line;
    }
    // Waits for the end; the exit status (-1 when killed).
    int Wait() {
        if (FPid <= 0) return -1;
        int status = 0;
        waitpid(FPid, &status, 0);
        FPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Stop() {
        if (FIn >= 0) close(FIn), FIn = -1;
        if (FPid > 0) {
            kill(-FPid, SIGKILL);
            Wait();
        }
        if (FOut) fclose(FOut), FOut = nullptr;
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
    }

  private:
    pid_t FPid = -1;
    int FIn = -1;
    FILE* FOut = nullptr;
    std::string FLine;
};

// A folder of sources: src.mp3 (20 s of brown noise at a constant 128 kbit/s,
// 16000 bytes a second, without a tag frame so it loops cleanly), low.mp3
// (mono, 22.05 kHz), a.ogg and b.ogg (3 s tones, tagged), and src.raw, the MP3
// as ffmpeg decodes it (16-bit stereo).
inline std::string StreamSources() {
    static const std::string dir = [] {
        const std::string d = FixtureDir("stream-sources");
        const std::string q = "'" + d + "/";
        EXPECT_TRUE(Sh("sox -n -r 44100 -c 2 -b 16 " + q + "src.wav' synth 20 brownnoise vol 0.5"));
        EXPECT_TRUE(Sh("lame --quiet -t --cbr -b 128 " + q + "src.wav' " + q + "src.mp3'"));
        EXPECT_TRUE(
            Sh("lame --quiet -t -m m -b 48 --resample 22.05 " + q + "src.wav' " + q + "low.mp3'"));
        for (const auto& [name, tone, title] :
             {std::tuple{"a", "440", "First Song"}, std::tuple{"b", "660", "Second Song"}}) {
            EXPECT_TRUE(Sh("sox -n -r 44100 -c 2 -b 16 " + q + name + ".wav' synth 3 sine " + tone +
                           " vol 0.5"));
            EXPECT_TRUE(Sh(std::string("oggenc -Q -a 'Ogg Artist' -t '") + title + "' -o " + q +
                           name + ".ogg' " + q + name + ".wav'"));
        }
        EXPECT_TRUE(Sh("ffmpeg -v error -y -i " + q + "src.mp3' -f s16le " + q + "src.raw'"));
        return d;
    }();
    return dir;
}

// 16-bit stereo PCM as mono doubles.
inline std::vector<double> Mono(const ByteVec& pcm, size_t skipBytes = 0) {
    std::vector<double> m;
    for (size_t i = skipBytes; i + 4 <= pcm.size(); i += 4) {
        const auto l = static_cast<int16_t>(pcm[i] | pcm[i + 1] << 8);
        const auto r = static_cast<int16_t>(pcm[i + 2] | pcm[i + 3] << 8);
        m.push_back((l + r) / 2.0);
    }
    return m;
}

// The normalised correlation of two signals, frame against frame.
inline double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
    double ab = 0, aa = 0, bb = 0;
    for (size_t k = 0; k < std::min(a.size(), b.size()); ++k)
        ab += a[k] * b[k], aa += a[k] * a[k], bb += b[k] * b[k];
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

// The best normalised correlation of `window` frames of `take` from frame
// `from` with any stretch of `source` (read as a loop): a coarse search on
// averages of 16 frames, refined frame by frame.
inline double BestCorrelation(const std::vector<double>& take, size_t from, size_t window,
                              const std::vector<double>& source) {
    if (take.size() < from + window || source.size() < window) return 0;
    const auto corr = [](const std::vector<double>& a, size_t ai, const std::vector<double>& b,
                         size_t bi, size_t n) {
        double ab = 0, aa = 0, bb = 0;
        for (size_t k = 0; k < n; ++k) {
            const double x = a[ai + k], y = b[(bi + k) % b.size()];
            ab += x * y, aa += x * x, bb += y * y;
        }
        return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
    };
    constexpr size_t kStep = 16;
    auto coarse = [&](const std::vector<double>& v, size_t at, size_t n) {
        std::vector<double> c(n / kStep);
        for (size_t i = 0; i < c.size(); ++i)
            for (size_t k = 0; k < kStep; ++k) c[i] += v[(at + i * kStep + k) % v.size()];
        return c;
    };
    const std::vector<double> t = coarse(take, from, window), s = coarse(source, 0, source.size());
    double best = -1;
    size_t at = 0;
    for (size_t o = 0; o < s.size(); ++o)
        if (const double c = corr(t, 0, s, o, t.size()); c > best) best = c, at = o * kStep;
    best = -1;
    for (size_t o = at + source.size() - kStep; o <= at + source.size() + kStep; ++o)
        best = std::max(best, corr(take, from, source, o % source.size(), window));
    return best;
}

// Runs of exact digital silence (both channels 0) in 16-bit stereo PCM at
// least `minFrames` long, as (first frame, frames).
inline std::vector<std::pair<size_t, size_t>> SilentRuns(const ByteVec& pcm, size_t minFrames) {
    std::vector<std::pair<size_t, size_t>> runs;
    size_t start = 0, length = 0;
    const size_t frames = pcm.size() / 4;
    for (size_t f = 0; f <= frames; ++f) {
        const bool zero = f < frames && pcm[4 * f] == 0 && pcm[4 * f + 1] == 0 &&
                          pcm[4 * f + 2] == 0 && pcm[4 * f + 3] == 0;
        if (zero) {
            if (length++ == 0) start = f;
        } else {
            if (length >= minFrames) runs.emplace_back(start, length);
            length = 0;
        }
    }
    return runs;
}

}  // namespace quillet::test
