// The terminal's side of a run: the count of the files done, drawn seldom and erased before any
// other line; text from outside shown, never obeyed; the questions before a logbook is replaced
// and before flights without a recording are dropped;
// the width the help is wrapped to.

#include "cli/Terminal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = cli::Counter::Clock;

// What a run does to the counter, at a time in milliseconds from its start.
struct Event {
    enum Kind { Show, Clear, Line } kind;
    int done = 0;
    int total = 0;
    int at = 0; // milliseconds
    std::string line = {};
};
Event show(int done, int total, int at) {
    return {Event::Show, done, total, at};
}
Event clear() {
    return {Event::Clear};
}
Event line(const std::string& text) {
    return {Event::Line, 0, 0, 0, text};
}

TEST(CliCounter, DrawsSeldomAndErasesBeforeOtherLines) {
    const struct {
        const char* name;
        bool shown;
        std::vector<Event> events;
        std::string written;
    } rows[] = {
        {"not a terminal: no count, lines as they come",
         false,
         {show(1, 5, 0), show(5, 5, 500), line("Skipped a"), clear()},
         "Skipped a\n"},
        {"nothing to erase before the first count", true, {clear(), line("x")}, "x\n"},
        {"the first count at once", true, {show(1, 5, 0)}, "\r1 of 5 files"},
        {"counts within a tenth of a second left out",
         true,
         {show(1, 5, 0), show(2, 5, 50), show(3, 5, 99)},
         "\r1 of 5 files"},
        {"a tenth of a second on",
         true,
         {show(1, 5, 0), show(2, 5, 100)},
         "\r1 of 5 files\r2 of 5 files"},
        {"the tenth counted from the count last drawn",
         true,
         {show(1, 9, 0), show(2, 9, 60), show(3, 9, 120), show(4, 9, 200), show(5, 9, 219)},
         "\r1 of 9 files\r3 of 9 files"},
        {"the last file always drawn",
         true,
         {show(1, 5, 0), show(5, 5, 1)},
         "\r1 of 5 files\r5 of 5 files"},
        {"erased once", true, {show(1, 5, 0), clear(), clear()}, "\r1 of 5 files\r\033[K"},
        {"drawn at once after it was erased",
         true,
         {show(1, 5, 0), clear(), show(2, 5, 10)},
         "\r1 of 5 files\r\033[K\r2 of 5 files"},
        {"a line takes the count off first, and the next count follows it",
         true,
         {show(1, 5, 0), line("Skipped a: too short: 5 s"), show(2, 5, 10)},
         "\r1 of 5 files\r\033[KSkipped a: too short: 5 s\n\r2 of 5 files"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::ostringstream terminal;
        cli::Counter counter(terminal, row.shown);
        const Clock::time_point start = Clock::now();
        for (const Event& event : row.events) {
            if (event.kind == Event::Show)
                counter.show(event.done, event.total, start + std::chrono::milliseconds(event.at));
            else if (event.kind == Event::Clear)
                counter.clear();
            else
                counter.writeLine(event.line);
        }
        EXPECT_EQ(terminal.str(), row.written);
    }
}

TEST(CliTerminalText, ShowsWhatWouldSteerTheTerminal) {
    const struct {
        const char* name;
        std::string text;
        std::string shown;
    } rows[] = {
        {"a window title", "evil\x1B]0;pwned\x07.igc", "evil\\x1B]0;pwned\\x07.igc"},
        {"a carriage return that would overwrite the line", "a.igc\rWrote 3 entries",
         "a.igc\\x0DWrote 3 entries"},
        {"backspace, DEL and NUL",
         std::string("a\x08"
                     "b\x7F"
                     "\0"
                     "c",
                     6),
         "a\\x08b\\x7F\\x00c"},
        {"C1 controls in UTF-8: CSI and the last",
         "\xC2\x9B"
         "2J \xC2\x80\xC2\x9F",
         "\\xC2\\x9B2J \\xC2\\x80\\xC2\\x9F"},
        // Text as it is.
        {"line ends and tabs", "a\tb\nc\n", "a\tb\nc\n"},
        {"characters next to the C1 controls",
         "\xC2\xA0\xC3\xBC\xC2\x7F"
         "a\xC2",
         "\xC2\xA0\xC3\xBC\xC2\\x7Fa\xC2"},
        {"bytes that are no UTF-8", "\x9B\xFF\xE2\x82", "\x9B\xFF\xE2\x82"},
        {"a backslash of its own", "C:\\x1B", "C:\\x1B"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(cli::terminalText(row.text), row.shown);
        // Through the buffer in front of a terminal: the same, in the order written with what
        // goes to the terminal past it.
        std::ostringstream terminal;
        cli::EscapingBuffer escaping(terminal.rdbuf());
        std::ostream escaped(&escaping);
        escaped << row.text;
        terminal << "\r\033[K";
        escaped << row.text.front();
        EXPECT_EQ(terminal.str(),
                  row.shown + "\r\033[K" + cli::terminalText(row.text.substr(0, 1)));
    }
}

TEST(CliPrompt, ReplacesOnlyOnAYesLine) {
    const struct {
        const char* input;
        bool replace;
        const char* left; // what the question leaves of the input
    } rows[] = {
        {"", false, ""},                            // the input ended: no
        {"\ny\n", false, "y\n"},                    // an empty line is the answer
        {"n\ny\n", false, "y\n"},                   // one line is read, no more
        {"yes\n", true, ""},       {"y", true, ""}, // the input ends without a line end
        {" Y \nn\n", true, "n\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.input);
        std::istringstream input(row.input);
        std::ostringstream terminal;
        EXPECT_EQ(cli::confirmReplace("/flights/logbook.dat", input, terminal), row.replace);
        EXPECT_EQ(
            terminal.str(),
            "This will overwrite your existing logbook! It is kept as logbook.dat.bak.\nReplace "
            "/flights/logbook.dat? [y/N] ");
        input.clear();
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(input), {}), row.left);
    }
}

// The flights of the old logbook without a recording are kept unless the pilot says no; an
// input that ends answers nothing and stops the run, its prompt's line ended.
TEST(CliPrompt, KeepsFlightsWithoutARecordingUnlessToldNot) {
    using logbook::Answer;
    const struct {
        const char* input;
        Answer answer;
    } rows[] = {
        {"", Answer::Cancel}, {"n\n", Answer::No},    {"no\n", Answer::No}, {"keep\n", Answer::No},
        {"\n", Answer::Yes},  {" \t\n", Answer::Yes}, {"y\n", Answer::Yes}, {" YES\n", Answer::Yes},
    };
    const logbook::MissingRecordings missing{{
                                                 {"", "05.01.2008", "Local flight", "flight01.igc"},
                                                 {"", "07.01.2008", "A - B", "flight02.igc"},
                                             },
                                             2};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.input);
        std::istringstream input(row.input);
        std::ostringstream terminal;
        EXPECT_EQ(cli::askKeepMissing("/igc", missing, input, terminal), row.answer);
        EXPECT_EQ(terminal.str(), std::string("  05.01.2008, Local flight, flight01.igc\n"
                                              "  07.01.2008, A - B, flight02.igc\n"
                                              "2 flights of your logbook have no recording in "
                                              "/igc. Keep them in the new logbook? [Y/n] ") +
                                      (row.answer == Answer::Cancel ? "\n" : ""));
    }
}

// COLUMNS as set, or the width without it (the terminal's, else 80).
void setColumns(const std::optional<std::string>& value) {
#ifdef _WIN32
    _putenv_s("COLUMNS", value ? value->c_str() : "");
#else
    if (value)
        setenv("COLUMNS", value->c_str(), 1);
    else
        unsetenv("COLUMNS");
#endif
}

TEST(CliHelpWidth, TakesColumnsOnlyWhenItIsAWidth) {
    const char* const saved = std::getenv("COLUMNS");
    const std::optional<std::string> before =
        saved != nullptr ? std::optional<std::string>(saved) : std::nullopt;
    setColumns(std::nullopt);
    const std::size_t without = cli::helpWidth();
    const struct {
        const char* columns;
        std::size_t width; // 0: as without COLUMNS
    } rows[] = {
        {"", 0}, {"0", 0}, {"-60", 0}, {"60x", 0}, {"wide", 0}, {"60", 60}, {"1", 1}, {"300", 300},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.columns);
        setColumns(row.columns);
        EXPECT_EQ(cli::helpWidth(), row.width != 0 ? row.width : without);
    }
    setColumns(before);
}

} // namespace
