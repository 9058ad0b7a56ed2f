// The analysis of one IGC file on any bytes, as the generation runs it for each file of the
// directory: load, locate the flight, times, task score, and the logbook entry.

#include "FuzzSupport.h"
#include "logbook/FlightAnalysis.h"

#include "platform/LocaleDatesQt.h"
#include <QtGlobal>

#include <cstdint>
#include <sstream>
#include <string>

namespace {

void ignoreQtMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

// The one call of the logbook library, kept apart: its signature follows that library.
void analyze(const std::string& path) {
    std::ostringstream logbook;
    // No minimum time: every flight found goes on to the task score and the entry.
    static_cast<void>(
        logbook::analyzeFlight(path, logbook, 0, platform::qtDateFormatter(QLocale::c())));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    thermora_fuzz::silenceStandardStreams();
    qInstallMessageHandler(ignoreQtMessages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const thermora_fuzz::ScratchFile input("flight-analysis.igc");
    input.write(data, size);
    analyze(input.path());
    return 0;
}
