#include "tagged_file_in.h"

namespace quillet {

TAuTaggedFileIn::TAuTaggedFileIn(TComponent* owner)
    : TAuFileIn(owner),
      FId3v1Tags(MakeOwned<TId3v1Tags>()),
      FId3v2Tags(MakeOwned<TId3v2Tags>()),
      FAPEv2Tags(MakeOwned<TAPEv2Tags>()) {}

TAuTaggedFileIn::~TAuTaggedFileIn() {
    FId3v1Tags.reset();
    FId3v2Tags.reset();
    FAPEv2Tags.reset();
}

}  // namespace quillet
