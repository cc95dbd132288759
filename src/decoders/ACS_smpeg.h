// TMP3In: the source for MP3 files. It plays an MP3 exactly as TWMIn plays a
// WMA file (the reader tells the containers apart by their content); it only
// has a class of its own so the player can hold one source per file type.
#pragma once

#include "ACS_WinMedia.h"

namespace quillet {

class TMP3In : public TWMIn {
  public:
    explicit TMP3In(TComponent* owner = nullptr) : TWMIn(owner) {}
    const char* ClassName() const override { return "TMP3In"; }
};

}  // namespace quillet
