// An old logbook on any bytes, as a run reads the logbook it replaces: its lines read back as
// entries, those without a recording found among some listed ones, and the words of its
// generation list.

#include "FuzzSupport.h"
#include "logbook/LogbookHistory.h"
#include "logbook/Messages.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    thermora_fuzz::silenceStandardStreams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const thermora_fuzz::ScratchFile input("old-logbook.dat");
    input.write(data, size);
    logbook::LogbookContent content;
    if (logbook::readLogbook(input.path(), content) != 0)
        return 0;
    // Half of the entries' own names listed, in both letter-case rules.
    std::vector<logbook::FlightFile> listed;
    for (std::size_t k = 0; k < content.entries.size(); k += 2)
        listed.push_back({"IGC/" + content.entries[k].file_name, content.entries[k].file_name});
    for (const bool ignore_case : {false, true}) {
        const std::vector<logbook::OldEntry> missing =
            logbook::entriesWithoutRecording(content.entries, listed, ignore_case);
        static_cast<void>(logbook::missingRecordingsList(missing));
        static_cast<void>(logbook::missingRecordingsQuestion("IGC", missing.size()));
    }
    for (const logbook::OldEntry& entry : content.entries) {
        // A line read as an entry reads the same again.
        if (!logbook::readEntryLine(entry.line))
            __builtin_trap();
    }
    return 0;
}
