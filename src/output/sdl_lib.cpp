#include "sdl_lib.h"

namespace quillet {

TSdlLib& SdlLib() {
    static TSdlLib lib;
    return lib;
}

bool SdlLoaded() {
    TSdlLib& lib = SdlLib();
    if (!lib.Load()) return false;
    // A library of that name without one of the calls is no SDL we can use.
    return lib.SDL_InitSubSystem && lib.SDL_QuitSubSystem && lib.SDL_TLSCleanup &&
           lib.SDL_GetNumAudioDevices && lib.SDL_GetAudioDeviceName && lib.SDL_OpenAudioDevice &&
           lib.SDL_PauseAudioDevice && lib.SDL_CloseAudioDevice && lib.SDL_GetAudioDeviceStatus;
}

}  // namespace quillet
