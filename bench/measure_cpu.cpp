// CPU time the player's loudness measuring takes, per file: the measurement
// the background service makes (integrated loudness, true peak and gating
// blocks, from the decoder's floats where it has them), on this one thread.
//   measure_cpu FILE...   ->  "<cpu seconds> <integrated LUFS> FILE" a line
#include <sys/resource.h>

#include <cstdio>
#include <exception>

#include "loudness_meter.h"

namespace {
double ThreadCpuSeconds() {
    rusage r{};
    getrusage(RUSAGE_THREAD, &r);
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}
}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        try {
            const double before = ThreadCpuSeconds();
            const quillet::TLoudness l = quillet::MeasureFile(argv[i]);
            std::printf("%.4f %.2f %s\n", ThreadCpuSeconds() - before, l.Integrated, argv[i]);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", argv[i], e.what());
            status = 1;
        }
    }
    return status;
}
