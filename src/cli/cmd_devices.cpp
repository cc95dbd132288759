// quillet-cli devices: the output devices the player can be asked to play on
// (play --device NAME), one name a line; the system default is not listed.
#include <cstdio>
#include <string>
#include <vector>

#include "ACS_DXAudio.h"
#include "commands.h"
#include "text.h"

namespace quillet::cli {
namespace {

int Devices(const std::vector<std::string>& args) {
    if (!args.empty()) return UsageError("devices takes no arguments");
    auto out = MakeOwned<TDXAudioOut>(nullptr);
    for (const std::string& name : out->DeviceNames())
        std::printf("%s\n", EscapeControls(name).c_str());
    return 0;
}

TCommand devicesCmd("devices", "devices", &Devices);

}  // namespace
}  // namespace quillet::cli
