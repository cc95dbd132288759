#include "vorbis_lib.h"

namespace quillet {

TOggLib& OggLib() {
    static TOggLib lib;
    return lib;
}

TVorbisLib& VorbisLib() {
    static TVorbisLib lib;
    return lib;
}

TVorbisFileLib& VorbisFileLib() {
    static TVorbisFileLib lib;
    return lib;
}

TVorbisEncLib& VorbisEncLib() {
    static TVorbisEncLib lib;
    return lib;
}

}  // namespace quillet
