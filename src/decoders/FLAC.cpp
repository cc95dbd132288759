#include "FLAC.h"

namespace quillet {

TFLACLib& FLACLib() {
    static TFLACLib library;
    return library;
}

bool LoadFLACLib() {
    return FLACLib().Load();
}

bool FLACLibLoaded() {
    return FLACLib().Loaded();
}

}  // namespace quillet
