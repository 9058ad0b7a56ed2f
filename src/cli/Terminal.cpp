#include "cli/Terminal.h"

#include "logbook/Listing.h"
#include "logbook/Messages.h"
#include "logbook/RequestCheck.h"
#include "platform/Console.h"

#include <cstdlib>
#include <iostream>
#include <istream>
#include <ostream>
#include <streambuf>

namespace cli {

std::size_t helpWidth() {
    if (const char* columns = std::getenv("COLUMNS"); columns != nullptr) {
        char* end = nullptr;
        const long value = std::strtol(columns, &end, 10);
        if (end != columns && *end == '\0' && value > 0)
            return static_cast<std::size_t>(value);
    }
    if (const std::size_t columns = platform::terminalColumns(platform::Stream::Output);
        columns > 0)
        return columns;
    return 80;
}

Counter::Counter(std::ostream& terminal, bool shown) : Counter(terminal, terminal, shown) {}

Counter::Counter(std::ostream& lines, std::ostream& drawing, bool shown)
    : lines_(lines), drawing_(drawing), shown_(shown) {}

void Counter::show(int done, int total, Clock::time_point now) {
    if (!shown_)
        return;
    if (on_screen_ && done < total && now - drawn_ < std::chrono::milliseconds(100))
        return;
    drawing_ << '\r' << logbook::progressText(done, total) << std::flush;
    on_screen_ = true;
    drawn_ = now;
}

void Counter::clear() {
    if (!on_screen_)
        return;
    drawing_ << "\r\033[K" << std::flush; // back to the line's start, and the line erased
    on_screen_ = false;
}

void Counter::writeLine(const std::string& line) {
    clear();
    lines_ << line << '\n';
}

std::string skippedLine(const logbook::FlightResult& file) {
    return "Skipped " + logbook::escaped(file.path) + ": " + logbook::reasonText(file.reason);
}

bool confirmReplace(const std::string& path, std::istream& input, std::ostream& terminal) {
    terminal << logbook::replacePrompt(path) << std::flush;
    std::string answer;
    return std::getline(input, answer) && logbook::isYes(answer);
}

logbook::Answer askKeepMissing(const std::string& igc_directory,
                               const logbook::MissingRecordings& missing, std::istream& input,
                               std::ostream& terminal) {
    terminal << logbook::keepMissingPrompt(igc_directory, missing) << std::flush;
    std::string answer;
    if (!std::getline(input, answer)) {
        terminal << '\n'; // the prompt's line ended, as the pilot's Enter would have
        return logbook::Answer::Cancel;
    }
    return logbook::keepsMissing(answer) ? logbook::Answer::Yes : logbook::Answer::No;
}

std::ostream& nowhere() {
    // Swallows whatever is written to it.
    class NullBuffer : public std::streambuf {
    protected:
        int_type overflow(int_type c) override { return traits_type::not_eof(c); }
        std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
    };
    static NullBuffer null;
    static std::ostream stream(&null);
    return stream;
}

} // namespace cli
