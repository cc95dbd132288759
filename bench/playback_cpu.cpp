// Plays the PCM of a canonical 16-bit WAV file (44-byte header) in real time
// through TDXAudioOut and SDL's default driver, then exits. Built and run by
// bench/playback_cpu.sh, which measures its CPU time.
#include <cstdio>
#include <fstream>
#include <vector>

#include "ACS_DXAudio.h"
#include "main_thread.h"

using namespace quillet;

namespace {

// The WAV's data chunk as a source: the WAV decoder is not needed to measure
// the output's own cost.
class RawWavSource : public TAuFileIn {
  public:
    explicit RawWavSource(const std::string& path) : FPath(path) { SetFileName(path); }
    ~RawWavSource() override { CloseSource(); }

  protected:
    void OpenSource() override {
        std::lock_guard<std::recursive_mutex> l(FOpenLock);
        if (FOpenCount != 0) return;
        FFile.open(FPath, std::ios::binary);
        if (!FFile) throw EAuException("cannot open " + FPath);
        FFile.seekg(0, std::ios::end);
        const int64_t size = static_cast<int64_t>(FFile.tellg()) - 44;
        FFile.seekg(44);
        FChannels = 2;
        FBitsPerSample = 16;
        FSampleRate = 44100;
        FDataSize = size > 0 ? size : 0;
        FIsValid = true;
        ++FOpenCount;
    }
    void CloseSource() override {
        std::lock_guard<std::recursive_mutex> l(FOpenLock);
        if (FFile.is_open()) FFile.close();
        FOpenCount = 0;
    }
    void ReadBlock(uint8_t*& Buffer, uint32_t& Bytes) override {
        FBlock.resize(std::min<uint32_t>(Bytes, 16384));
        FFile.read(reinterpret_cast<char*>(FBlock.data()),
                   static_cast<std::streamsize>(FBlock.size()));
        Buffer = FBlock.data();
        Bytes = static_cast<uint32_t>(FFile.gcount());
    }
    bool SeekToSample(int64_t&) override { return false; }

  private:
    std::string FPath;
    std::ifstream FFile;
    std::vector<uint8_t> FBlock;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: playback_cpu FILE.wav\n");
        return 2;
    }
    SetMainThread();
    int rc = 0;
    bool done = false;
    {
        RawWavSource src(argv[1]);
        auto out = MakeOwned<TDXAudioOut>();
        out->SetOnDone([&](TComponent*) { done = true; });
        out->SetOnThreadException([&](TComponent*) {
            std::fprintf(stderr, "%s\n", out->LastError().c_str());
            rc = 1;
        });
        out->SetInput(&src);
        out->Start();
        while (!done) CheckSynchronize(std::chrono::milliseconds(100));
    }
    return rc;
}
