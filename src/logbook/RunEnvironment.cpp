#include "logbook/RunEnvironment.h"

#include "platform/Diagnostics.h"

#include <ostream>

namespace logbook {

void RunEnvironment::begin() {}

void RunEnvironment::progress(int, int) {}

void RunEnvironment::fileDone(const FlightResult& file) {
    fileDiagnostics() << file.errors;
    diagnosticOutput() << file.output;
}

std::ostream& RunEnvironment::diagnostics() {
    return platform::diagnostics();
}

std::ostream& RunEnvironment::fileDiagnostics() {
    return platform::diagnostics();
}

std::ostream& RunEnvironment::diagnosticOutput() {
    return platform::diagnosticOutput();
}

void RunEnvironment::temporaryNamed(const std::string&, bool) {}

} // namespace logbook
