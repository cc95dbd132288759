// quillet-cli play: files through the player's own output, one after another.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "ACS_DXAudio.h"
#include "commands.h"
#include "main_thread.h"
#include "media_common.h"

namespace quillet::cli {
namespace {

int Play(const std::vector<std::string>& args) {
    int64_t volume = 0;
    bool volumeSet = false;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--volume") {
            if (i + 1 >= args.size() || !ParseInt64(args[i + 1], volume) || volume > 0 ||
                volume < -10000)
                return UsageError("--volume needs hundredths of a decibel, -10000..0");
            volumeSet = true;
            ++i;
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.empty()) return UsageError("play needs at least one file");

    SetMainThread();
    std::vector<Owned<TAuFileIn>> inputs;  // outlive the sink that refers to them
    auto out = MakeOwned<TDXAudioOut>(nullptr);
    // The window's ring settings.
    out->SetDeviceNumber(0);
    out->SetFramesInBuffer(65536);
    out->SetPollingInterval(200);
    if (volumeSet) out->SetVolume(static_cast<int32_t>(volume));
    std::atomic<bool> done{false};
    bool failed = false;
    out->SetOnDone([&](TComponent*) { done = true; });
    out->SetOnThreadException([&](TComponent*) {
        std::fprintf(stderr, "%s\n", out->LastError().c_str());
        failed = true;
    });
    for (const std::string& file : files) {
        try {
            inputs.push_back(OpenInput(file));
            out->SetInput(inputs.back().get());
            done = false;
            out->Start();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", file.c_str(), e.what());
            failed = true;
            continue;
        }
        // The handlers run here, on the main thread, as the window's would.
        while (!done) CheckSynchronize(std::chrono::milliseconds(100));
        out->SetInput(nullptr);
        inputs.pop_back();
    }
    return failed ? 1 : 0;
}

TCommand playCmd("play", "play [--volume V] IN...", &Play);

}  // namespace
}  // namespace quillet::cli
