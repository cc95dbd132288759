// The file source that carries tag sets. It lives with the tags (not in core)
// because the tag sets build on core: keeping it here avoids a dependency
// cycle between the two libraries.
#pragma once

#include "ACS_Classes.h"
#include "ACS_Tags.h"

namespace quillet {

// A TAuFileIn that owns one ID3v1, one ID3v2 and one APEv2 set for the life of
// the source. It adds nothing to the source contract: a decoder deriving from
// it (MP3/WMA, Musepack) refreshes the set it fills in its OpenSource, under
// FOpenLock; callers read the sets on the main thread after the source has
// opened. Nothing here clears them between files.
class TAuTaggedFileIn : public TAuFileIn {
  public:
    // Creates the three sets, empty, in the order ID3v1, ID3v2, APEv2.
    explicit TAuTaggedFileIn(TComponent* owner = nullptr);
    // Frees the sets in the same order.
    ~TAuTaggedFileIn() override;
    const char* ClassName() const override { return "TAuTaggedFileIn"; }

    // The same objects for the life of the source; only their fields change.
    TId3v1Tags& Id3v1Tags() { return *FId3v1Tags; }
    TId3v2Tags& Id3v2Tags() { return *FId3v2Tags; }
    TAPEv2Tags& APEv2Tags() { return *FAPEv2Tags; }

  protected:
    Owned<TId3v1Tags> FId3v1Tags;
    Owned<TId3v2Tags> FId3v2Tags;
    Owned<TAPEv2Tags> FAPEv2Tags;
};

}  // namespace quillet
