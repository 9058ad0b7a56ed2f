// Reads an IGC file into a FlightLog: strict at the head (A record, header block, task), lenient
// in the body (bad B records and unknown records are reported and dropped).

#include "igc/FlightLog.h"
#include "igc/LineReader.h"
#include "igc/RecordParsers.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace igc {

namespace {

// ---- Line sources ------------------------------------------------------------------------
// The task block reads several lines and looks ahead at the next record letter. It runs on the
// reader's own block buffer during a load, and on any std::istream for the public extraction
// operators; both offer peek, readLine and a failed state that, like a stream's, makes every
// further peek see the end.

class FileLines {
public:
    explicit FileLines(LineReader& reader) : reader_(reader) {}
    int peek() { return failed_ ? EOF : reader_.peek(); }
    std::string_view readLine() { return reader_.readLine(); }
    /// `line`, the one just read, does not parse: it is kept as the reason.
    void setFailed(std::string_view line) {
        if (!failed_) {
            failed_line_ = reader_.lineNumber();
            failed_record_.assign(line);
        }
        failed_ = true;
    }
    [[nodiscard]] bool failed() const { return failed_; }
    [[nodiscard]] long long failedLine() const { return failed_line_; }
    [[nodiscard]] std::string& failedRecord() { return failed_record_; }

private:
    LineReader& reader_;
    bool failed_ = false;
    long long failed_line_ = 0;
    std::string failed_record_;
};

class StreamLines {
public:
    explicit StreamLines(std::istream& in) : in_(in) {}
    // At the end of the input (a last line without its line end) there is no next record;
    // asking the stream would put it into the failed state.
    int peek() { return in_.eof() ? EOF : in_.peek(); }
    // One line as the reader defines it: up to LF, without a CR right before the LF, at most
    // 255 characters kept, ending at a NUL byte.
    std::string_view readLine() {
        const std::istream::sentry ready(in_, true);
        if (!ready)
            return {line_, 0}; // an empty line, with storage like every other line
        std::streambuf& source = *in_.rdbuf();
        std::size_t total = 0;
        bool line_end = false;
        for (;;) {
            const int c = source.sbumpc();
            if (c == EOF) {
                in_.setstate(std::ios::eofbit);
                break;
            }
            if (c == '\n') {
                line_end = true;
                break;
            }
            if (total < sizeof(line_))
                line_[total] = static_cast<char>(c);
            ++total;
        }
        if (total == 0 && !line_end)
            in_.setstate(std::ios::failbit); // nothing extracted, as for std::getline
        std::size_t length = std::min(total, sizeof(line_));
        if (line_end && length == total && length > 0 && line_[length - 1] == '\r')
            --length;
        length = std::min(length, kMaxLineLength);
        if (const void* nul = std::memchr(line_, '\0', length))
            length = static_cast<std::size_t>(static_cast<const char*>(nul) - line_);
        return {line_, length};
    }
    void setFailed(std::string_view /*line*/) { in_.setstate(std::ios::failbit); }
    [[nodiscard]] bool failed() const { return in_.fail(); }

private:
    std::istream& in_;
    char line_[kMaxLineLength + 1] = {}; // one more than kept: room to see a CR before LF
};

// ---- Diagnostics -------------------------------------------------------------------------

// Bytes of the file repeated in a diagnostic. Control characters (TAB excepted) and DEL are
// written as \xHH, so that a damaged or binary file can neither split a diagnostic line, nor
// move the cursor or switch modes of the terminal that shows it. Everything else goes out as it
// is, bytes of UTF-8 or Latin-1 text included: a pilot name or a turnpoint stays readable.
struct EchoedBytes {
    std::string_view text;
};

std::ostream& operator<<(std::ostream& out, EchoedBytes bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::size_t plain = 0; // start of the bytes not yet written
    for (std::size_t i = 0; i < bytes.text.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes.text[i]);
        if ((c >= 0x20 && c != 0x7F) || c == '\t')
            continue;
        const char escaped[] = {'\\', 'x', kHex[c >> 4], kHex[c & 0xF]};
        out << bytes.text.substr(plain, i - plain);
        out.write(escaped, sizeof escaped);
        plain = i + 1;
    }
    return out << bytes.text.substr(plain);
}

// ---- Records -----------------------------------------------------------------------------

// Stores a parsed position; 'S' and 'W' negate both degrees and minutes.
Coordinate toCoordinate(const PositionFields& p) {
    Coordinate c;
    c.lat_deg = static_cast<std::int16_t>(p.lat_deg);
    c.lat_min = static_cast<float>(p.lat_min + p.lat_thousandths * 0.001);
    c.lon_deg = static_cast<std::int16_t>(p.lon_deg);
    c.lon_min = static_cast<float>(p.lon_min + p.lon_thousandths * 0.001);
    if (p.lat_hemisphere == 'S') {
        c.lat_deg = static_cast<std::int16_t>(-c.lat_deg);
        c.lat_min = -c.lat_min;
    }
    if (p.lon_hemisphere == 'W') {
        c.lon_deg = static_cast<std::int16_t>(-c.lon_deg);
        c.lon_min = -c.lon_min;
    }
    return c;
}

// The extension value at a 1-based column, `width` characters wide. A column that the line
// does not hold wholly keeps the fix's value: nothing outside the line is ever read.
template <typename Field>
#if defined(__GNUC__)
[[gnu::always_inline]] // three times per fix: a call would cost more than the reading
#endif
inline void
readExtension(std::string_view content, int column, std::size_t width, Field& field) {
    if (column < 1)
        return;
    const auto from = static_cast<std::size_t>(column - 1);
    if (from + width > content.size())
        return;
    // The usual value is plain digits; anything else is read as atoi reads it.
    int value = 0;
    for (std::size_t k = 0; k < width; ++k) {
        const auto digit =
            static_cast<unsigned>(static_cast<unsigned char>(content[from + k]) - '0');
        if (digit > 9) {
            field = static_cast<Field>(atoiField(content.substr(from, width)));
            return;
        }
        value = value * 10 + static_cast<int>(digit);
    }
    field = static_cast<Field>(value);
}

// The fix of a parsed B record, extensions taken from their declared columns.
#if defined(__GNUC__)
[[gnu::always_inline]] // once for the plain records, once for the scanned: see readFixLine
#endif
inline void
storeFix(Fix& fix, const FixFields& fields, std::string_view line, int fxa_column, int siu_column,
         int enl_column) {
    fix.time = {static_cast<std::uint8_t>(fields.hour), static_cast<std::uint8_t>(fields.minute),
                static_cast<std::uint8_t>(fields.second)};
    fix.position = toCoordinate(fields.position);
    fix.validity = fields.validity;
    fix.pressure_alt = static_cast<std::int16_t>(fields.pressure_alt);
    fix.gps_alt = static_cast<std::int16_t>(fields.gps_alt);
    if (fxa_column >= 1 || siu_column >= 1 || enl_column >= 1) {
        // Columns are cut at the line's end only: a CR inside the line (not part of its line
        // end) is a character of the line like any other, and atoi skips it as white space.
        readExtension(line, fxa_column, 3, fix.fxa);
        readExtension(line, siu_column, 2, fix.siu);
        readExtension(line, enl_column, 3, fix.enl);
    }
}

#if defined(__GNUC__)
[[gnu::noinline]]
#endif
bool readScannedFixLine(Fix& fix, std::string_view line, int fxa_column, int siu_column,
                        int enl_column, std::ostream& diagnostics) {
    FixFields fields;
    if (scanFixRecord(line, fields) != 15) {
        diagnostics << "IGCLib: parse error in B record\n";
        return false;
    }
    storeFix(fix, fields, line, fxa_column, siu_column, enl_column);
    return true;
}

#if defined(__GNUC__)
[[gnu::always_inline]] // in the reader's loop: the fix is then written once, in place
#endif
inline bool
readFixLine(Fix& fix, std::string_view line, int fxa_column, int siu_column, int enl_column,
            std::ostream& diagnostics) {
    // Two ways apart to the end: the plain fields then stay in registers.
    FixFields fields;
    if (!parsePlainFixRecord(line, fields))
        return readScannedFixLine(fix, line, fxa_column, siu_column, enl_column, diagnostics);
    storeFix(fix, fields, line, fxa_column, siu_column, enl_column);
    return true;
}

template <typename Lines>
void extractTaskPoint(Lines& lines, TaskPoint& point, std::ostream& diagnostics) {
    const std::string_view line = lines.readLine();
    TaskPointFields fields;
    const int count = parseTaskPoint(line, fields);
    if (count < 9) {
        diagnostics << "IGCLib: parse error in C record\n";
        diagnostics << "line = " << EchoedBytes{line} << std::endl;
        lines.setFailed(line);
        return;
    }
    point.position = toCoordinate(fields.position);
    if (count == 10)
        point.name = fields.name;
}

// One further task point: false (after the warning) when the next record is no C record.
template <typename Lines>
bool nextTaskPoint(Lines& lines, TaskPoint& point, const char* which, std::ostream& diagnostics) {
    if (lines.peek() != 'C') {
        diagnostics << "IGCLib: warning: Missing task point (" << which << ")!\n";
        return false;
    }
    extractTaskPoint(lines, point, diagnostics);
    return true;
}

template <typename Lines>
void extractTask(Lines& lines, Task& task, std::ostream& diagnostics) {
    const std::string_view line = lines.readLine();
    TaskHeaderFields f;
    const int count = parseTaskHeader(line, f);
    if (count < 12) {
        diagnostics << "IGCLib: parse error in C record (n = " << count << ")\n";
        diagnostics << "line: " << EchoedBytes{line} << std::endl;
        lines.setFailed(line);
        return;
    }
    task.declaration_date = {static_cast<std::uint8_t>(f.declaration_day),
                             static_cast<std::uint8_t>(f.declaration_month),
                             static_cast<std::int16_t>(f.declaration_year)};
    task.declaration_time = {static_cast<std::uint8_t>(f.declaration_hour),
                             static_cast<std::uint8_t>(f.declaration_minute),
                             static_cast<std::uint8_t>(f.declaration_second)};
    task.flight_date = {static_cast<std::uint8_t>(f.flight_day),
                        static_cast<std::uint8_t>(f.flight_month),
                        static_cast<std::int16_t>(f.flight_year)};
    task.task_id = f.task_id;
    task.turnpoint_count = f.turnpoint_count;
    if (count == 13)
        task.description = f.description;

    if (!nextTaskPoint(lines, task.takeoff, "takeoff", diagnostics) ||
        !nextTaskPoint(lines, task.start, "start", diagnostics))
        return;
    task.turnpoints.clear();
    for (int k = 1; k <= task.turnpoint_count; ++k) {
        if (lines.peek() != 'C') {
            diagnostics << "IGCLib: warning: Missing task point (TP " << k << ")!\n";
            return;
        }
        // Kept even when it does not parse: the count of points read stays honest.
        task.turnpoints.emplace_back(0.0, 0.0, std::string());
        extractTaskPoint(lines, task.turnpoints.back(), diagnostics);
    }
    if (!nextTaskPoint(lines, task.finish, "finish", diagnostics))
        return;
    nextTaskPoint(lines, task.landing, "landing", diagnostics);
}

// Header value of code `code`, as the H record's rest gives it. A value that does not scan
// leaves the field as it was.
void storeHeader(FlightLog& log, std::string_view code, std::string_view rest) {
    if (code == "DTE") {
        // Recorders since 2016 write "HFDTEDATE:DDMMYY,NN" (NN numbers the day's flights);
        // the date is read from it as from the older "HFDTEDDMMYY".
        constexpr std::string_view kLabel = "DATE:";
        if (rest.substr(0, kLabel.size()) == kLabel)
            rest.remove_prefix(kLabel.size());
        DateFields date;
        if (parseDateValue(rest, date) == 3)
            log.date_ = {static_cast<std::uint8_t>(date.day), static_cast<std::uint8_t>(date.month),
                         static_cast<std::int16_t>(date.year)};
        return;
    }
    if (code == "FXA") {
        int accuracy = 0;
        if (parseNumberValue(rest, accuracy) == 1)
            log.fix_accuracy_ = accuracy;
        return;
    }
    if (code == "GPS") {
        // Often written without a long name ("HFGPSuBLOX 12ch"): then the whole rest counts.
        if (parseNamedValue(rest, log.gps_) != 1)
            log.gps_.assign(rest);
        return;
    }
    std::string* field = nullptr;
    if (code == "PLT")
        field = &log.pilot_;
    else if (code == "GTY")
        field = &log.glider_type_;
    else if (code == "GID")
        field = &log.glider_id_;
    else if (code == "RFW")
        field = &log.firmware_version_;
    else if (code == "RHW")
        field = &log.hardware_version_;
    else if (code == "FTY")
        field = &log.fr_type_;
    else if (code == "CID")
        field = &log.competition_id_;
    else if (code == "CCL")
        field = &log.competition_class_;
    if (field != nullptr)
        parseNamedValue(rest, *field);
}

// I record: a two-digit count, then per extension seven characters: start column (2), end
// column (2, not used) and code (3). Entries that the line does not hold wholly are ignored.
void storeExtensions(FlightLog& log, std::string_view line, std::ostream& diagnostics) {
    const std::string_view content = line; // cut at its end only, never at a CR inside
    const int count = atoiField(content.substr(std::min<std::size_t>(1, content.size()), 2));
    for (int k = 0; k < count; ++k) {
        const std::size_t entry = 3 + 7 * static_cast<std::size_t>(k);
        if (entry + 7 > content.size())
            break;
        const int column = atoiField(content.substr(entry, 2));
        const std::string_view code = content.substr(entry + 4, 3);
        if (code == "FXA")
            log.fxa_column_ = column;
        else if (code == "SIU")
            log.siu_column_ = column;
        else if (code == "ENL")
            log.enl_column_ = column;
        else
            diagnostics << "Extension: " << EchoedBytes{code} << ", start = " << column
                        << std::endl;
    }
}

// Room for the fixes still to come, judged from the bytes the B records so far took (`taken`,
// from the first to the end of the one just read) and the bytes left in the file. A recording's
// records are all about as long as its first, so the fixes get one block of the size they need:
// growing by doubling would leave up to half of it unused and, while moving, hold both blocks.
// Fewer fixes than judged leave pages that were never written, which take no memory.
void makeRoomForFixes(std::vector<Fix>& fixes, long long left, long long taken) {
    const std::size_t read = fixes.size() + 1; // the one just read counts
    if (left <= 0 || taken <= 0)
        return; // the end, or a size not known: the vector grows as it will
    // No fix comes from fewer bytes than 35 characters and a line feed: a broken first record
    // ("B" alone) must not make room for twenty times the fixes the file could hold.
    constexpr long long kShortestFixLine = 36;
    const auto per_fix = std::max(kShortestFixLine, taken / static_cast<long long>(read));
    // At least an eighth more, so that a judgement a little short costs few moves.
    const auto more = std::max(static_cast<std::size_t>(left / per_fix) + 1, read / 8 + 16);
    fixes.reserve(fixes.size() + more);
}

} // namespace

const char* loadErrorText(LoadError error) {
    switch (error) {
    case LoadError::None:
        return "";
    case LoadError::NotOpened:
        return "Couldn't open input file";
    case LoadError::MissingARecord:
        return "Missing A record";
    case LoadError::ARecord:
        return "parse error in A record";
    case LoadError::HRecord:
        return "parse error in H record";
    case LoadError::CRecord:
        return "parse error in C record";
    }
    return "";
}

std::istream& operator>>(std::istream& in, Task& task) {
    StreamLines lines(in);
    extractTask(lines, task, std::cerr);
    return in;
}

std::istream& operator>>(std::istream& in, TaskPoint& point) {
    StreamLines lines(in);
    extractTaskPoint(lines, point, std::cerr);
    return in;
}

bool Fix::readFix(std::istream& in, int fxa_column, int siu_column, int enl_column) {
    StreamLines lines(in);
    return readFixLine(*this, lines.readLine(), fxa_column, siu_column, enl_column, std::cerr);
}

bool FlightLog::load(const char* path) {
    return load(path, std::cerr);
}

bool FlightLog::load(const char* path, std::ostream& diagnostics) {
    return load(path == nullptr ? nullptr : std::fopen(path, "rb"), path, diagnostics);
}

bool FlightLog::load(std::FILE* file, const char* path, std::ostream& diagnostics) {
    LoadOutcome outcome;
    return load(file, path, diagnostics, outcome);
}

namespace {

// A file that is not read to its end: said, and told to the caller.
bool failed(LoadOutcome& outcome, std::ostream& diagnostics, LoadError error, long long line,
            std::string_view record) {
    diagnostics << "IGCLib: " << loadErrorText(error) << "\n";
    outcome.error = error;
    outcome.line = line;
    outcome.record.assign(record);
    return false;
}

// The A record that a recording begins with and the H records after it.
bool readHeaderRecords(FlightLog& log, LineReader& reader, std::ostream& diagnostics,
                       LoadOutcome& outcome) {
    if (reader.peek() != 'A')
        return failed(outcome, diagnostics, LoadError::MissingARecord, 0, {});
    ARecordFields a;
    if (const std::string_view line = reader.readLine(); parseARecord(line, a) != 3)
        return failed(outcome, diagnostics, LoadError::ARecord, reader.lineNumber(), line);
    log.manufacturer_ = a.code;
    log.logger_id_ = a.rest;

    HRecordFields h;
    while (reader.peek() == 'H') {
        if (const std::string_view line = reader.readLine(); parseHRecord(line, h) != 4)
            return failed(outcome, diagnostics, LoadError::HRecord, reader.lineNumber(), line);
        storeHeader(log, h.code, h.rest);
    }
    return true;
}

// A C record: the first of the file (`task_read` false) is the task declaration, read with the
// lines that follow it; a later one is only warned about. False when the declaration breaks off.
bool readTaskRecord(FlightLog& log, LineReader& reader, bool& task_read, std::ostream& diagnostics,
                    LoadOutcome& outcome) {
    if (task_read) {
        diagnostics << "Warning: extra C record: " << EchoedBytes{reader.readLine()} << std::endl;
        return true;
    }
    FileLines lines(reader);
    extractTask(lines, log.task_, diagnostics);
    if (lines.failed()) {
        outcome.error = LoadError::CRecord;
        outcome.line = lines.failedLine();
        outcome.record = std::move(lines.failedRecord());
        return false;
    }
    log.has_task_ = true;
    task_read = true;
    return true;
}

// A line whose letter names no record the reader knows: said, and passed over.
void sayUnknownRecord(LineReader& reader, int next, std::ostream& diagnostics) {
    // The letter of a blank line is the first byte of its line end (LF, or the CR of CR LF),
    // not content of the file: it goes out as it is and so still ends a line.
    const bool blank = reader.readLine().empty() && (next == '\n' || next == '\r');
    const char letter = static_cast<char>(next);
    diagnostics << "unknown record: ";
    if (blank)
        diagnostics << letter;
    else
        diagnostics << EchoedBytes{std::string_view(&letter, 1)};
    diagnostics << std::endl;
}

} // namespace

bool FlightLog::load(std::FILE* file, const char* path, std::ostream& diagnostics,
                     LoadOutcome& outcome) {
    // Streaming a null pointer would put the stream into the failed state for good.
    const char* name = path == nullptr ? "" : path;
    outcome = {};
    const int open_error = file == nullptr ? errno : 0;
    LineReader reader;
    if (!reader.open(file)) {
        diagnostics << "IGCLib: Couldn't open input file '" << name << "'\n";
        outcome.error = LoadError::NotOpened;
        outcome.system_error = file == nullptr ? open_error : reader.openError();
        return false;
    }
    fixes_.clear();
    if (!readHeaderRecords(*this, reader, diagnostics, outcome))
        return false;

    bool task_read = false;
    long long first_fix_at = -1; // where the first B record starts
    for (int next = reader.peek(); next != EOF; next = reader.peek()) {
        switch (next) {
        case 'B': {
            if (first_fix_at < 0)
                first_fix_at = reader.position();
            const std::string_view line = reader.readLine();
            if (fixes_.size() == fixes_.capacity())
                makeRoomForFixes(fixes_, reader.fileSize() - reader.position(),
                                 reader.position() - first_fix_at);
            // Read in place: a fix built elsewhere and copied in costs more than its reading.
            if (!readFixLine(fixes_.emplace_back(), line, fxa_column_, siu_column_, enl_column_,
                             diagnostics))
                fixes_.pop_back();
            break;
        }
        case 'I':
            storeExtensions(*this, reader.readLine(), diagnostics);
            break;
        case 'C':
            if (!readTaskRecord(*this, reader, task_read, diagnostics, outcome))
                return false;
            break;
        case 'L':
        case 'G':
            reader.skipLine();
            break;
        default:
            sayUnknownRecord(reader, next, diagnostics);
            break;
        }
    }
    if (fixes_.capacity() - fixes_.size() > fixes_.size() / 8)
        fixes_.shrink_to_fit();
    return true;
}

} // namespace igc
