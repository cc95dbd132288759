#include "ebur128_lib.h"

namespace quillet {

TEbur128Lib& Ebur128Lib() {
    static TEbur128Lib lib;
    return lib;
}

}  // namespace quillet
