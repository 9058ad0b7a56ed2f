// An old logbook on any bytes, as a run reads the logbook it replaces: its lines read back as
// entries or as lines that are none, the flights without a recording found among some listed
// ones and copied out again, and the words of the question about them.

#include "FuzzSupport.h"
#include "logbook/LogbookHistory.h"
#include "logbook/Messages.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    thermora_fuzz::silenceStandardStreams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const thermora_fuzz::ScratchFile input("old-logbook.dat");
    input.write(data, size);
    std::FILE* file = std::fopen(input.path().c_str(), "rb");
    if (file == nullptr)
        return 0;
    // First with nothing listed: every entry is without its recording. Then half of those shown
    // listed, in both letter-case rules.
    const auto read = logbook::readOldLogbook(file, {});
    if (!read) {
        std::fclose(file);
        return 0;
    }
    const logbook::OldLogbook& all = *read;
    std::vector<logbook::FlightFile> listed;
    for (std::size_t k = 0; k < all.missing.shown.size(); k += 2)
        listed.push_back(
            {"IGC/" + all.missing.shown[k].file_name, nullptr, all.missing.shown[k].file_name});
    for (const bool ignore_case : {false, true}) {
        std::rewind(file);
        const auto reread = logbook::readOldLogbook(file, listed, ignore_case);
        if (!reread)
            break;
        const logbook::OldLogbook& old = *reread;
        if (old.missing.count > all.missing.count || old.missing.count != old.missing_lines.size())
            __builtin_trap();
        static_cast<void>(logbook::missingRecordingsList(old.missing));
        static_cast<void>(logbook::missingRecordingsQuestion("IGC", old.missing));
        for (const logbook::OldEntry& shown : old.missing.shown) {
            if (shown.is_entry && !logbook::readEntryLine(shown.line))
                __builtin_trap();
        }
        // The lines copied out are the flights' lines as they stood, one line each.
        std::ostringstream copied;
        if (logbook::copyLines(file, old.missing_lines, copied))
            __builtin_trap();
        const std::string lines = copied.str();
        if (static_cast<std::size_t>(std::count(lines.begin(), lines.end(), '\n')) <
            old.missing_lines.size())
            __builtin_trap();
    }
    std::fclose(file);
    return 0;
}
