// The reader's public stream operations on any bytes: the extraction of a Task and of a
// TaskPoint, and Fix::readFix, each on a stream of the whole input and each repeated until the
// stream gives up, so that what follows a failure and the end of the input are read too.

#include "FuzzSupport.h"
#include "igc/FlightLog.h"

#include <cstdint>
#include <sstream>
#include <string>

namespace {

// Extracts until the stream fails; every extraction takes at least one line, or fails.
template <typename Value>
void extractAll(const std::string& text) {
    std::istringstream in(text);
    while (in) {
        Value value;
        in >> value;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    thermora_fuzz::silenceStandardStreams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    // The first three bytes choose the FXA, SIU and ENL columns: any value from -128 to 127,
    // most of them beyond the end of a line; the rest is the text.
    const int fxa = static_cast<std::int8_t>(data[0]);
    const int siu = static_cast<std::int8_t>(data[1]);
    const int enl = static_cast<std::int8_t>(data[2]);
    const std::string text(reinterpret_cast<const char*>(data) + 3, size - 3);

    extractAll<igc::Task>(text);
    extractAll<igc::TaskPoint>(text);

    std::istringstream fixes(text);
    while (fixes) {
        igc::Fix fix;
        fix.readFix(fixes, fxa, siu, enl);
    }
    return 0;
}
