// The hand-written fast paths must give exactly what the C library's scanner gives for the
// record formats: same count, same stored values. Checked over many generated lines, plain and
// damaged in every way a recorder or a transfer can damage them.

#include "igc/RecordParsers.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace igc {
namespace {

bool operator==(const PositionFields& a, const PositionFields& b) {
    return a.lat_deg == b.lat_deg && a.lat_min == b.lat_min &&
           a.lat_thousandths == b.lat_thousandths && a.lat_hemisphere == b.lat_hemisphere &&
           a.lon_deg == b.lon_deg && a.lon_min == b.lon_min &&
           a.lon_thousandths == b.lon_thousandths && a.lon_hemisphere == b.lon_hemisphere;
}
bool operator==(const FixFields& a, const FixFields& b) {
    return a.letter == b.letter && a.hour == b.hour && a.minute == b.minute &&
           a.second == b.second && a.position == b.position && a.validity == b.validity &&
           a.pressure_alt == b.pressure_alt && a.gps_alt == b.gps_alt;
}
bool operator==(const TaskPointFields& a, const TaskPointFields& b) {
    return a.letter == b.letter && a.position == b.position && a.name == b.name;
}
bool operator==(const TaskHeaderFields& a, const TaskHeaderFields& b) {
    return a.letter == b.letter && a.declaration_day == b.declaration_day &&
           a.declaration_month == b.declaration_month && a.declaration_year == b.declaration_year &&
           a.declaration_hour == b.declaration_hour &&
           a.declaration_minute == b.declaration_minute &&
           a.declaration_second == b.declaration_second && a.flight_day == b.flight_day &&
           a.flight_month == b.flight_month && a.flight_year == b.flight_year &&
           a.task_id == b.task_id && a.turnpoint_count == b.turnpoint_count &&
           a.description == b.description;
}
bool operator==(const ARecordFields& a, const ARecordFields& b) {
    return a.letter == b.letter && a.code == b.code && a.rest == b.rest;
}
bool operator==(const HRecordFields& a, const HRecordFields& b) {
    return a.letter == b.letter && a.source == b.source && a.code == b.code && a.rest == b.rest;
}
bool operator==(const DateFields& a, const DateFields& b) {
    return a.day == b.day && a.month == b.month && a.year == b.year;
}

// Makes lines of one record type and damages them.
class LineMaker {
public:
    explicit LineMaker(unsigned seed) : random_(seed) {}

    std::string digits(int count) {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += static_cast<char>('0' + pick(10));
        return text;
    }

    // An altitude below the reference as recorders write it: a minus and four digits.
    std::string altitude() { return pick(4) != 0 ? digits(5) : "-" + digits(4); }
    std::string fixLine() {
        return "B" + digits(6) + digits(7) + (pick(2) != 0 ? "N" : "S") + digits(8) +
               (pick(2) != 0 ? "E" : "W") + (pick(4) != 0 ? "A" : "V") + altitude() + altitude() +
               digits(pick(20));
    }
    std::string taskHeaderLine() { return "C" + digits(24) + (pick(3) != 0 ? "TASK 300km" : ""); }
    std::string taskPointLine() {
        return "C" + digits(7) + "N" + digits(8) + "E" + (pick(4) != 0 ? "Turnpoint 1" : "");
    }
    std::string aLine() {
        static const char* const kCodes[] = {"XXX", "FLA", "LXN", "XCS"};
        return std::string("A") + kCodes[pick(4)] + (pick(5) != 0 ? digits(3) : "");
    }
    std::string hLine() {
        static const char* const kLines[] = {"HFDTE060108",
                                             "HFDTEDATE:060108,01",
                                             "HFPLTPILOTINCHARGE: Example Pilot",
                                             "HFGTYGLIDERTYPE:LS4",
                                             "HFGPSuBLOX 12ch",
                                             "HFFXA035",
                                             "HOPLTPILOT:",
                                             "HFDTM",
                                             "HFRFWFIRMWAREVERSION:2.3",
                                             "HFCIDCOMPETITIONID: X1"};
        return kLines[pick(10)];
    }

    // Damage: cut short, a character replaced by a blank, sign, letter, CR or LF, a character
    // inserted; sometimes several of them, sometimes none.
    std::string damage(std::string line) {
        static const char kReplacements[] = {' ', '-', '+', 'x', '\r', '\n', '\t', ':', '0', '9'};
        const int rounds = pick(4);
        for (int round = 0; round < rounds && !line.empty(); ++round) {
            const auto at = static_cast<std::size_t>(pick(static_cast<int>(line.size())));
            switch (pick(4)) {
            case 0:
                line.resize(at);
                break;
            case 1:
                line[at] = kReplacements[pick(sizeof(kReplacements))];
                break;
            case 2:
                line.insert(at, 1, kReplacements[pick(sizeof(kReplacements))]);
                break;
            default:
                break;
            }
        }
        return line;
    }

    int pick(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(random_); }

private:
    std::mt19937 random_;
};

template <typename Fields, typename Parse, typename Scan>
void expectSame(const std::string& line, Parse parse, Scan scan, int& full_count) {
    Fields fast;
    Fields reference;
    const int fast_count = parse(line, fast);
    const int reference_count = scan(line, reference);
    ASSERT_EQ(fast_count, reference_count) << '"' << line << '"';
    ASSERT_TRUE(fast == reference) << '"' << line << '"';
    full_count += fast_count > 0 ? 1 : 0;
}

TEST(RecordParsers, AgreeWithTheScannerOnGeneratedLines) {
    LineMaker maker(20240607u);
    int converted = 0;
    constexpr int kLinesPerKind = 25000;
    for (int i = 0; i < kLinesPerKind; ++i) {
        expectSame<FixFields>(maker.damage(maker.fixLine()), parseFixRecord, scanFixRecord,
                              converted);
        expectSame<TaskPointFields>(maker.damage(maker.taskPointLine()), parseTaskPoint,
                                    scanTaskPoint, converted);
        expectSame<TaskHeaderFields>(maker.damage(maker.taskHeaderLine()), parseTaskHeader,
                                     scanTaskHeader, converted);
        expectSame<ARecordFields>(maker.damage(maker.aLine()), parseARecord, scanARecord,
                                  converted);
        const std::string h = maker.damage(maker.hLine());
        expectSame<HRecordFields>(h, parseHRecord, scanHRecord, converted);
        const std::string rest = h.size() > 5 ? h.substr(5) : std::string();
        expectSame<DateFields>(rest, parseDateValue, scanDateValue, converted);
        expectSame<std::string>(rest, parseNamedValue, scanNamedValue, converted);
        int fast = -7;
        int reference = -7;
        ASSERT_EQ(parseNumberValue(rest, fast), scanNumberValue(rest, reference)) << rest;
        ASSERT_EQ(fast, reference) << rest;
    }
    // Most lines still convert something; the damage must not make the comparison vacuous.
    EXPECT_GT(converted, kLinesPerKind * 5);
}

TEST(RecordParsers, PlainLinesTakeTheFastPathValues) {
    FixFields fix;
    ASSERT_EQ(parseFixRecord("B1101355206343N00006198WA0058700558", fix), 15);
    EXPECT_EQ(fix.hour, 11);
    EXPECT_EQ(fix.minute, 1);
    EXPECT_EQ(fix.second, 35);
    EXPECT_EQ(fix.position.lat_deg, 52);
    EXPECT_EQ(fix.position.lat_min, 6);
    EXPECT_EQ(fix.position.lat_thousandths, 343);
    EXPECT_EQ(fix.position.lat_hemisphere, 'N');
    EXPECT_EQ(fix.position.lon_deg, 0);
    EXPECT_EQ(fix.position.lon_min, 6);
    EXPECT_EQ(fix.position.lon_thousandths, 198);
    EXPECT_EQ(fix.position.lon_hemisphere, 'W');
    EXPECT_EQ(fix.validity, 'A');
    EXPECT_EQ(fix.pressure_alt, 587);
    EXPECT_EQ(fix.gps_alt, 558);

    FixFields negative;
    ASSERT_EQ(parseFixRecord("B1101355206343N00006198WA-001200558", negative), 15);
    EXPECT_EQ(negative.pressure_alt, -12);
}

TEST(RecordParsers, AtoiFieldBehavesLikeAtoi) {
    const struct {
        const char* field;
        int value;
    } rows[] = {{"035", 35}, {" 7", 7}, {"-12", -12}, {"+4", 4}, {"4x", 4},
                {"x4", 0},   {"", 0},   {"\r", 0},    {"  ", 0}, {"007", 7}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.field);
        EXPECT_EQ(atoiField(row.field), row.value);
        EXPECT_EQ(atoiField(row.field), std::atoi(row.field));
    }
}

// The count that `parse` gives for `line`, into fresh fields.
template <typename Fields, int (*parse)(std::string_view, Fields&)>
int countOf(std::string_view line) {
    Fields fields{};
    return parse(line, fields);
}

TEST(RecordParsers, AViewWithoutStorageIsAnEmptyLine) {
    // std::string_view() has no data pointer at all; it must read as "" does, in both paths.
    const struct {
        const char* name;
        int (*count)(std::string_view);
    } rows[] = {
        {"A record", countOf<ARecordFields, parseARecord>},
        {"A record scan", countOf<ARecordFields, scanARecord>},
        {"H record", countOf<HRecordFields, parseHRecord>},
        {"H record scan", countOf<HRecordFields, scanHRecord>},
        {"date", countOf<DateFields, parseDateValue>},
        {"date scan", countOf<DateFields, scanDateValue>},
        {"number", countOf<int, parseNumberValue>},
        {"number scan", countOf<int, scanNumberValue>},
        {"named value", countOf<std::string, parseNamedValue>},
        {"named value scan", countOf<std::string, scanNamedValue>},
        {"task header", countOf<TaskHeaderFields, parseTaskHeader>},
        {"task header scan", countOf<TaskHeaderFields, scanTaskHeader>},
        {"task point", countOf<TaskPointFields, parseTaskPoint>},
        {"task point scan", countOf<TaskPointFields, scanTaskPoint>},
        {"B record", countOf<FixFields, parseFixRecord>},
        {"B record scan", countOf<FixFields, scanFixRecord>},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.count(std::string_view()), -1); // end of input before any conversion
    }
    EXPECT_EQ(atoiField(std::string_view()), 0);
    EXPECT_TRUE(lineContent(std::string_view()).empty());
}

} // namespace
} // namespace igc
