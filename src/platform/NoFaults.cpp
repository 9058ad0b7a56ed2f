// Alone in its object file, so that a test program that defines injectedFault itself is linked
// with its own and never with this one.

#include "platform/FaultPoints.h"

namespace platform {

std::error_code injectedFault(FaultPoint /*point*/) {
    return {};
}

} // namespace platform
