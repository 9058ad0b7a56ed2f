#include "igc/RecordParsers.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace igc {

namespace {

// The C library's white space in the "C" locale: what %d, %s and a blank in a format skip.
constexpr bool isScanSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr bool isDigit(char c) {
    return static_cast<unsigned char>(c - '0') <= 9;
}

// Whether line[from, from + count) exists and holds decimal digits only.
bool digitsAt(std::string_view line, std::size_t from, std::size_t count) {
    if (line.size() < from + count)
        return false;
    for (std::size_t i = from; i < from + count; ++i) {
        if (!isDigit(line[i]))
            return false;
    }
    return true;
}

int numberAt(std::string_view line, std::size_t from, std::size_t count) {
    int value = 0;
    for (std::size_t i = from; i < from + count; ++i)
        value = value * 10 + (line[i] - '0');
    return value;
}

bool noSpaceAt(std::string_view line, std::size_t from, std::size_t count) {
    if (line.size() < from + count)
        return false;
    return std::none_of(line.begin() + static_cast<std::ptrdiff_t>(from),
                        line.begin() + static_cast<std::ptrdiff_t>(from + count), isScanSpace);
}

// What %[^\n\r] takes at `from`: the characters up to CR, LF or the end (may be empty, which
// for the format is a failed conversion).
std::string_view scanSetAt(std::string_view line, std::size_t from) {
    if (from >= line.size())
        return {};
    return lineContent(line.substr(from));
}

// A NUL-terminated copy of a line for the C library's scanner. An empty view may have no data
// pointer at all (std::string_view()), which memcpy must not be given even for no bytes.
struct ScanBuffer {
    explicit ScanBuffer(std::string_view line) {
        const std::size_t length = std::min(line.size(), kMaxLineLength);
        if (length > 0)
            std::memcpy(text, line.data(), length);
        text[length] = '\0';
    }
    char text[kMaxLineLength + 1];
};

// Room for any %s or %[ conversion of a line: never shorter than the line itself.
using TextField = char[kMaxLineLength + 1];

void readPosition(std::string_view line, std::size_t lat_at, std::size_t lon_at,
                  std::size_t lat_digits, PositionFields& p) {
    p.lat_deg = numberAt(line, lat_at, lat_digits);
    p.lat_min = numberAt(line, lat_at + lat_digits, 2);
    p.lat_thousandths = numberAt(line, lat_at + lat_digits + 2, 3);
    p.lat_hemisphere = line[lat_at + lat_digits + 5];
    p.lon_deg = numberAt(line, lon_at, 3);
    p.lon_min = numberAt(line, lon_at + 3, 2);
    p.lon_thousandths = numberAt(line, lon_at + 5, 3);
    p.lon_hemisphere = line[lon_at + 8];
}

} // namespace

std::string_view lineContent(std::string_view line) {
    // A plain loop: find_first_of would search the two-character set once per character.
    std::size_t end = 0;
    while (end < line.size() && line[end] != '\r' && line[end] != '\n')
        ++end;
    return line.substr(0, end);
}

int atoiField(std::string_view field) {
    if (field.size() <= 3 && digitsAt(field, 0, field.size()) && !field.empty())
        return numberAt(field, 0, field.size()); // the usual extension value: plain digits
    std::size_t i = 0;
    while (i < field.size() && isScanSpace(field[i]))
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    long long value = 0;
    // A field is a few characters wide; the bound only keeps absurd input from overflowing.
    for (; i < field.size() && isDigit(field[i]) && value < 100000000000LL; ++i)
        value = value * 10 + (field[i] - '0');
    return static_cast<int>(negative ? -value : value);
}

// ---- A record ----------------------------------------------------------------------------

int scanARecord(std::string_view line, ARecordFields& fields) {
    const ScanBuffer input(line);
    char code[4] = {};
    TextField rest = {};
    const int count = std::sscanf(input.text, "%c%3s%[^\n\r]", &fields.letter, code, rest);
    if (count >= 2)
        fields.code = code;
    if (count >= 3)
        fields.rest = rest;
    return count;
}

int parseARecord(std::string_view line, ARecordFields& fields) {
    const std::string_view rest = scanSetAt(line, 4);
    if (!noSpaceAt(line, 1, 3) || rest.empty())
        return scanARecord(line, fields);
    fields.letter = line[0];
    fields.code.assign(line.substr(1, 3));
    fields.rest.assign(rest);
    return 3;
}

// ---- H record ----------------------------------------------------------------------------

int scanHRecord(std::string_view line, HRecordFields& fields) {
    const ScanBuffer input(line);
    char code[4] = {};
    TextField rest = {};
    const int count =
        std::sscanf(input.text, "%c%c%3s%[^\n\r]", &fields.letter, &fields.source, code, rest);
    if (count >= 3)
        fields.code = code;
    if (count >= 4)
        fields.rest = rest;
    return count;
}

int parseHRecord(std::string_view line, HRecordFields& fields) {
    const std::string_view rest = scanSetAt(line, 5);
    if (!noSpaceAt(line, 2, 3) || rest.empty())
        return scanHRecord(line, fields);
    fields.letter = line[0];
    fields.source = line[1];
    fields.code.assign(line.substr(2, 3));
    fields.rest.assign(rest);
    return 4;
}

int scanDateValue(std::string_view rest, DateFields& fields) {
    const ScanBuffer input(rest);
    return std::sscanf(input.text, "%02d%02d%02d", &fields.day, &fields.month, &fields.year);
}

int parseDateValue(std::string_view rest, DateFields& fields) {
    if (!digitsAt(rest, 0, 6))
        return scanDateValue(rest, fields);
    fields.day = numberAt(rest, 0, 2);
    fields.month = numberAt(rest, 2, 2);
    fields.year = numberAt(rest, 4, 2);
    return 3;
}

int scanNumberValue(std::string_view rest, int& value) {
    const ScanBuffer input(rest);
    return std::sscanf(input.text, "%03d", &value);
}

int parseNumberValue(std::string_view rest, int& value) {
    if (!digitsAt(rest, 0, 3))
        return scanNumberValue(rest, value);
    value = numberAt(rest, 0, 3);
    return 1;
}

int scanNamedValue(std::string_view rest, std::string& value) {
    const ScanBuffer input(rest);
    TextField text = {};
    const int count = std::sscanf(input.text, "%*[^:]: %[^\n\r]", text);
    if (count >= 1)
        value = text;
    return count;
}

int parseNamedValue(std::string_view rest, std::string& value) {
    // A long name of at least one character, a colon, any white space, then the value.
    const std::size_t colon = rest.find(':');
    if (colon == 0 || colon == std::string_view::npos)
        return scanNamedValue(rest, value);
    std::size_t start = colon + 1;
    while (start < rest.size() && isScanSpace(rest[start]))
        ++start;
    const std::string_view text = scanSetAt(rest, start);
    if (text.empty())
        return scanNamedValue(rest, value);
    value.assign(text);
    return 1;
}

// ---- C records ---------------------------------------------------------------------------

int scanTaskHeader(std::string_view line, TaskHeaderFields& f) {
    const ScanBuffer input(line);
    TextField description = {};
    const int count = std::sscanf(input.text, "%c%2d%2d%2d%2d%2d%2d%2d%2d%2d%4d%2d%[^\n\r]",
                                  &f.letter, &f.declaration_day, &f.declaration_month,
                                  &f.declaration_year, &f.declaration_hour, &f.declaration_minute,
                                  &f.declaration_second, &f.flight_day, &f.flight_month,
                                  &f.flight_year, &f.task_id, &f.turnpoint_count, description);
    if (count >= 13)
        f.description = description;
    return count;
}

int parseTaskHeader(std::string_view line, TaskHeaderFields& f) {
    const std::string_view description = scanSetAt(line, 25);
    if (!digitsAt(line, 1, 24) || description.empty())
        return scanTaskHeader(line, f);
    f.letter = line[0];
    f.declaration_day = numberAt(line, 1, 2);
    f.declaration_month = numberAt(line, 3, 2);
    f.declaration_year = numberAt(line, 5, 2);
    f.declaration_hour = numberAt(line, 7, 2);
    f.declaration_minute = numberAt(line, 9, 2);
    f.declaration_second = numberAt(line, 11, 2);
    f.flight_day = numberAt(line, 13, 2);
    f.flight_month = numberAt(line, 15, 2);
    f.flight_year = numberAt(line, 17, 2);
    f.task_id = numberAt(line, 19, 4);
    f.turnpoint_count = numberAt(line, 23, 2);
    f.description.assign(description);
    return 13;
}

int scanTaskPoint(std::string_view line, TaskPointFields& f) {
    const ScanBuffer input(line);
    PositionFields& p = f.position;
    TextField name = {};
    const int count =
        std::sscanf(input.text, "%c%02d%02d%03d%c%03d%02d%03d%c%[^\n\r]", &f.letter, &p.lat_deg,
                    &p.lat_min, &p.lat_thousandths, &p.lat_hemisphere, &p.lon_deg, &p.lon_min,
                    &p.lon_thousandths, &p.lon_hemisphere, name);
    if (count >= 10)
        f.name = name;
    return count;
}

int parseTaskPoint(std::string_view line, TaskPointFields& f) {
    const std::string_view name = scanSetAt(line, 18);
    if (!digitsAt(line, 1, 7) || !digitsAt(line, 9, 8) || name.empty())
        return scanTaskPoint(line, f);
    f.letter = line[0];
    readPosition(line, 1, 9, 2, f.position);
    f.name.assign(name);
    return 10;
}

// ---- B record ----------------------------------------------------------------------------

bool fixed_columns::decodeFixBelowReference(const char* p, FixFields& f) {
    // The minus is read as a leading 0 ('-' + 3), the value then negated.
    const bool pressure_below = p[25] == '-';
    const bool gnss_below = p[30] == '-';
    const std::uint64_t below_25 = (pressure_below ? 3U : 0U) | (gnss_below ? 3ULL << 40 : 0U);
    const std::uint64_t below_27 = gnss_below ? 3ULL << 24 : 0U;
    if (!decodeFix(p, below_25, below_27, f))
        return false;
    if (pressure_below)
        f.pressure_alt = -f.pressure_alt;
    if (gnss_below)
        f.gps_alt = -f.gps_alt;
    return true;
}

int scanFixRecord(std::string_view line, FixFields& f) {
    const ScanBuffer input(line);
    PositionFields& p = f.position;
    return std::sscanf(input.text, "%c%2d%2d%2d%2d%2d%3d%c%3d%2d%3d%c%c%5d%5d%*[^\r\n]", &f.letter,
                       &f.hour, &f.minute, &f.second, &p.lat_deg, &p.lat_min, &p.lat_thousandths,
                       &p.lat_hemisphere, &p.lon_deg, &p.lon_min, &p.lon_thousandths,
                       &p.lon_hemisphere, &f.validity, &f.pressure_alt, &f.gps_alt);
}

} // namespace igc
