// Alone in its object file, so that a test program that defines injectedFault itself is linked
// with its own and never with this one.

#include "platform/FaultPoints.h"

namespace platform {

int injectedFault(FaultPoint /*point*/) {
    return 0;
}

} // namespace platform
