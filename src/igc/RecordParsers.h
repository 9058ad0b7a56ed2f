#pragma once

// One parse function per IGC record type, on one line held in memory.
//
// Every record is defined by a C `sscanf` format, and the reader must give exactly what that
// format gives: the same stored values and the same count of conversions. The `parse*`
// functions read plain fixed-width digit fields by hand, which is many times faster, and hand
// the line to the `scan*` function with the format itself as soon as any field is anything else
// (a blank, a sign, a letter, a short line), so their results are identical by construction.
//
// A line is what the reader holds of one physical line: at most 255 characters, no line end,
// no NUL byte. Each function returns the count of stored conversions, as `sscanf` does (a
// negative count where `sscanf` reports end of input before the first conversion).

#include <string>
#include <string_view>

namespace igc {

/// Longest line the reader keeps; the rest of a longer physical line is dropped.
inline constexpr std::size_t kMaxLineLength = 255;

/// A record: "%c%3s%[^\n\r]".
struct ARecordFields {
    char letter = 0;
    std::string code; // manufacturer code, up to three characters
    std::string rest; // logger id: the rest of the line, leading blanks included
};
int parseARecord(std::string_view line, ARecordFields& fields);
int scanARecord(std::string_view line, ARecordFields& fields);

/// H record: "%c%c%3s%[^\n\r]".
struct HRecordFields {
    char letter = 0;
    char source = 0;  // F, O, P or anything else; not looked at
    std::string code; // three-letter header code such as DTE or PLT
    std::string rest;
};
int parseHRecord(std::string_view line, HRecordFields& fields);
int scanHRecord(std::string_view line, HRecordFields& fields);

/// H record date value: "%02d%02d%02d".
struct DateFields {
    int day = 0;
    int month = 0;
    int year = 0;
};
int parseDateValue(std::string_view rest, DateFields& fields);
int scanDateValue(std::string_view rest, DateFields& fields);

/// H record three-digit number (fix accuracy): "%03d".
int parseNumberValue(std::string_view rest, int& value);
int scanNumberValue(std::string_view rest, int& value);

/// H record value after a long name and a colon, as in "PILOT:Example": "%*[^:]: %[^\n\r]".
int parseNamedValue(std::string_view rest, std::string& value);
int scanNamedValue(std::string_view rest, std::string& value);

/// First C record (the task declaration): "%c%2d%2d%2d%2d%2d%2d%2d%2d%2d%4d%2d%[^\n\r]".
struct TaskHeaderFields {
    char letter = 0;
    int declaration_day = 0;
    int declaration_month = 0;
    int declaration_year = 0;
    int declaration_hour = 0;
    int declaration_minute = 0;
    int declaration_second = 0;
    int flight_day = 0;
    int flight_month = 0;
    int flight_year = 0;
    int task_id = 0;
    int turnpoint_count = 0;
    std::string description;
};
int parseTaskHeader(std::string_view line, TaskHeaderFields& fields);
int scanTaskHeader(std::string_view line, TaskHeaderFields& fields);

/// Latitude and longitude as both record types write them.
struct PositionFields {
    int lat_deg = 0;
    int lat_min = 0;
    int lat_thousandths = 0; // thousandths of a minute
    char lat_hemisphere = 0; // 'S' south, anything else north
    int lon_deg = 0;
    int lon_min = 0;
    int lon_thousandths = 0;
    char lon_hemisphere = 0; // 'W' west, anything else east
};

/// C record of a task point: "%c%02d%02d%03d%c%03d%02d%03d%c%[^\n\r]".
struct TaskPointFields {
    char letter = 0;
    PositionFields position;
    std::string name;
};
int parseTaskPoint(std::string_view line, TaskPointFields& fields);
int scanTaskPoint(std::string_view line, TaskPointFields& fields);

/// B record: "%c%2d%2d%2d%2d%2d%3d%c%3d%2d%3d%c%c%5d%5d%*[^\r\n]". No allocation.
struct FixFields {
    char letter = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    PositionFields position;
    char validity = 0;
    int pressure_alt = 0;
    int gps_alt = 0;
};
int parseFixRecord(std::string_view line, FixFields& fields);
int scanFixRecord(std::string_view line, FixFields& fields);

/// What the C library's `atoi` gives for these characters (the field ends with the view).
int atoiField(std::string_view field);

/// The part of a line before its first CR or LF: where fixed columns may be read.
std::string_view lineContent(std::string_view line);

} // namespace igc
