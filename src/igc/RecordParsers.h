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

#include <bit>
#include <cstdint>
#include <cstring>
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
inline int parseFixRecord(std::string_view line, FixFields& fields);
inline bool parsePlainFixRecord(std::string_view line, FixFields& fields);
int scanFixRecord(std::string_view line, FixFields& fields);

/// What the C library's `atoi` gives for these characters (the field ends with the view).
int atoiField(std::string_view field);

/// The part of a line before its first CR or LF: where fixed columns may be read.
std::string_view lineContent(std::string_view line);

// ---- B record, the reader's hot path -----------------------------------------------------

namespace fixed_columns {

/// Eight bytes from `p`, the first in the lowest byte whatever the machine's byte order.
inline std::uint64_t load8(const char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    if constexpr (std::endian::native == std::endian::big)
        word = __builtin_bswap64(word);
    return word;
}

/// Whether every byte of `word` is a decimal digit: each byte is 0x30..0x39, that is 0x3_
/// before and after adding 6 (adding 6 to 0x30..0x39 never carries into the next byte).
inline bool allDigits(std::uint64_t word) {
    constexpr std::uint64_t kHigh = 0xF0F0F0F0F0F0F0F0ULL;
    constexpr std::uint64_t kThirty = 0x3030303030303030ULL;
    constexpr std::uint64_t kSix = 0x0606060606060606ULL;
    return (word & kHigh) == kThirty && ((word + kSix) & kHigh) == kThirty;
}

/// Eight digits, each as its value 0..9 in its byte.
struct Digits {
    explicit Digits(std::uint64_t digit_bytes)
        : values(digit_bytes - 0x3030303030303030ULL),
          // Byte k becomes 10 * digit k + digit k+1 (at most 99: no byte carries into the next).
          pairs(values * 10 + (values >> 8)) {}
    /// Digit k (0..7).
    [[nodiscard]] int at(int k) const { return static_cast<int>(values >> (8 * k) & 0xFF); }
    /// Digits k and k+1 as a two-digit number (k 0..6).
    [[nodiscard]] int pair(int k) const { return static_cast<int>(pairs >> (8 * k) & 0xFF); }
    std::uint64_t values;
    std::uint64_t pairs;
};

} // namespace fixed_columns

/// The B record when its every column is plain (digits where the format reads numbers): all 15
/// conversions stored, as the format stores them. False, with `f` unspecified, when a column is
/// anything else; only the format then knows what it makes of the line.
namespace fixed_columns {

/// The B record's columns at `p` (at least 35 bytes) when every numeric one is digits; `below_25`
/// and `below_27` are added to the words at columns 25 and 27 first (see parsePlainFixRecord).
#if defined(__GNUC__)
[[gnu::always_inline]]
#endif
inline bool
decodeFix(const char* p, std::uint64_t below_25, std::uint64_t below_27, FixFields& f) {
    // Columns (0-based): time 1-6, latitude 7-14, longitude 15-23, validity 24, pressure
    // altitude 25-29, GNSS altitude 30-34. Five words of eight bytes hold every digit column;
    // they overlap where a field is not a multiple of eight long.
    const std::uint64_t w1 = load8(p + 1);              // HHMMSS DD
    const std::uint64_t w6 = load8(p + 6);              // S DDMMmmm
    const std::uint64_t w15 = load8(p + 15);            // DDDMMmmm
    const std::uint64_t w25 = load8(p + 25) + below_25; // PPPPP GGG
    const std::uint64_t w27 = load8(p + 27) + below_27; // PPP GGGGG
    if (!allDigits(w1) || !allDigits(w6) || !allDigits(w15) || !allDigits(w25) || !allDigits(w27))
        return false;
    const Digits time(w1);
    const Digits latitude(w6);
    const Digits longitude(w15);
    const Digits pressure(w25);
    const Digits gnss(w27);
    f.letter = p[0];
    f.hour = time.pair(0);
    f.minute = time.pair(2);
    f.second = time.pair(4);
    PositionFields& position = f.position;
    position.lat_deg = time.pair(6);
    position.lat_min = latitude.pair(3);
    position.lat_thousandths = latitude.at(5) * 100 + latitude.pair(6);
    position.lat_hemisphere = p[14];
    position.lon_deg = longitude.at(0) * 100 + longitude.pair(1);
    position.lon_min = longitude.pair(3);
    position.lon_thousandths = longitude.at(5) * 100 + longitude.pair(6);
    position.lon_hemisphere = p[23];
    f.validity = p[24];
    f.pressure_alt = pressure.at(0) * 10000 + pressure.pair(1) * 100 + pressure.pair(3);
    f.gps_alt = gnss.at(3) * 10000 + gnss.pair(4) * 100 + gnss.pair(6);
    return true;
}

} // namespace fixed_columns

namespace fixed_columns {
/// decodeFix for a record with an altitude below the reference, a minus and four digits ("-0036",
/// which %5d reads as -36). Apart, so that the usual record pays nothing for it.
bool decodeFixBelowReference(const char* p, FixFields& f);
} // namespace fixed_columns

inline bool parsePlainFixRecord(std::string_view line, FixFields& f) {
    const char* p = line.data();
    if (line.size() < 35)
        return false;
    return fixed_columns::decodeFix(p, 0, 0, f) ||
           ((p[25] == '-' || p[30] == '-') && fixed_columns::decodeFixBelowReference(p, f));
}

inline int parseFixRecord(std::string_view line, FixFields& fields) {
    return parsePlainFixRecord(line, fields) ? 15 : scanFixRecord(line, fields);
}

} // namespace igc
