#include "platform/ProgramVersion.h"

#ifndef THARVEL_VERSION
#error "THARVEL_VERSION comes from the build"
#endif

namespace tharvel {

const char* ProgramVersion::text() {
    return THARVEL_VERSION;
}

}  // namespace tharvel
