// SDL2, bound at run time (lib_loader.h) like the codec libraries: the
// programs do not link it, so the window shows without loading SDL and the
// forty-odd libraries it brings (ALSA, PulseAudio, the X11 client libraries,
// libsndfile and its codecs). It is loaded when a device is first enumerated
// or opened; without it there is no sound device (Open fails with
// DSERR_NODRIVER, as when no driver starts).
#pragma once

#include <SDL.h>

#include "lib_loader.h"

namespace quillet {

// The SDL calls sdl_device.cpp makes.
struct TSdlLib : TLibrary {
    TSdlLib() : TLibrary("libSDL2-2.0.so.0") {}
    QUILLET_LIB_ENTRY(SDL_InitSubSystem);
    QUILLET_LIB_ENTRY(SDL_QuitSubSystem);
    QUILLET_LIB_ENTRY(SDL_TLSCleanup);
    QUILLET_LIB_ENTRY(SDL_GetNumAudioDevices);
    QUILLET_LIB_ENTRY(SDL_GetAudioDeviceName);
    QUILLET_LIB_ENTRY(SDL_OpenAudioDevice);
    QUILLET_LIB_ENTRY(SDL_PauseAudioDevice);
    QUILLET_LIB_ENTRY(SDL_CloseAudioDevice);
    QUILLET_LIB_ENTRY(SDL_GetAudioDeviceStatus);
};

// The process's one binding.
TSdlLib& SdlLib();
// Loads SDL once (retried after a failure); true when it is loaded with
// every entry above. Any thread.
bool SdlLoaded();

}  // namespace quillet
