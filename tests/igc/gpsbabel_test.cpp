// Files written by FlightLog::save, read by an independent IGC reader (GPSBabel): the positions,
// times and task points it finds must be the ones the writer meant.

#include "IgcTestValues.h"
#include "igc/FlightLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#define popen _popen
#define pclose _pclose
#endif

namespace {

namespace fs = std::filesystem;
using igc::Coordinate;
using igc::Fix;
using igc::FlightLog;
using igc::IgcDate;
using igc::IgcTime;
using igc::TaskPoint;
using igc_testing::at;
using igc_testing::clockText;
using igc_testing::writtenDegrees;

// GPSBabel prints degrees with six decimals: half a unit of the last one, plus double noise.
constexpr double kPrintTolerance = 0.6e-6;

// One CSV record; fields may be quoted, with "" standing for a quote inside.
std::vector<std::string> splitCsv(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c != '\r' && c != '\n') {
            fields.back() += c;
        }
    }
    return fields;
}

// A CSV table whose first row names its columns.
struct CsvTable {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;

    // Index of the column `name`; fails the test (and answers 0) when there is none.
    std::size_t column(const std::string& name) const {
        for (std::size_t i = 0; i < header.size(); ++i)
            if (header[i] == name)
                return i;
        ADD_FAILURE() << "GPSBabel's output has no column " << name;
        return 0;
    }
    std::string at(std::size_t row, const std::string& name) const {
        const std::size_t index = column(name);
        return index < rows[row].size() ? rows[row][index] : std::string();
    }
};

// Runs GPSBabel on an IGC file with `selection` ("-t" tracks, "-r" routes) into unicsv.
bool readWithGpsBabel(const fs::path& igc_file, const char* selection, CsvTable& table) {
    const std::string command = std::string("\"") + GPSBABEL_EXECUTABLE + "\" " + selection +
                                " -i igc -f \"" + igc_file.string() + "\" -o unicsv -F -";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return false;
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    const bool ended_well = pclose(pipe) == 0;

    std::size_t begin = 0;
    while (begin < output.size()) {
        std::size_t end = output.find('\n', begin);
        if (end == std::string::npos)
            end = output.size();
        std::vector<std::string> fields = splitCsv(output.substr(begin, end - begin));
        if (table.header.empty())
            table.header = std::move(fields);
        else
            table.rows.push_back(std::move(fields));
        begin = end + 1;
    }
    return ended_well;
}

class GpsBabelReadsWrittenFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string(GPSBABEL_EXECUTABLE).empty())
            GTEST_SKIP() << "gpsbabel not installed";
        std::random_device random;
        dir_ = fs::temp_directory_path() /
               ("thermora-gpsbabel-" + std::to_string(random()) + "-" + std::to_string(random()));
        ASSERT_TRUE(fs::create_directories(dir_));
    }
    void TearDown() override {
        std::error_code ignored;
        if (!dir_.empty())
            fs::remove_all(dir_, ignored);
    }

    fs::path save(const FlightLog& log) {
        const fs::path path = dir_ / "flight.igc";
        EXPECT_TRUE(log.save(path.string().c_str()));
        return path;
    }

    fs::path dir_;
};

Fix fixAt(IgcTime time, const Coordinate& position, int pressure_alt, int gps_alt) {
    Fix fix;
    fix.time = time;
    fix.position = position;
    fix.pressure_alt = static_cast<std::int16_t>(pressure_alt);
    fix.gps_alt = static_cast<std::int16_t>(gps_alt);
    return fix;
}

FlightLog flightAcrossHemispheres() {
    FlightLog log;
    log.date_ = IgcDate{6, 1, 2008};
    log.fixes_ = {
        fixAt({11, 1, 35}, at(52, 6.5f, 0, -6.25f), 587, 558),       // west between -1 and 0
        fixAt({11, 1, 36}, at(52, 6.343f, 0, -6.198f), 590, 561),    // thousandths truncated
        fixAt({12, 0, 0}, at(-33, -51.75f, 151, 12.5f), 1200, 1180), // south-east
        fixAt({13, 30, 15}, at(0, -0.125f, -70, -0.5f), -12, 0),     // south between -1 and 0
        fixAt({23, 59, 59}, at(45, 59.999f, -179, -59.999f), 300, 310),
        fixAt({0, 0, 1}, at(-89, -59.999f, 179, 59.999f), 0, 40), // past midnight
    };
    // Made from decimal degrees, as a caller outside the reader would.
    log.fixes_.emplace_back(0, 10, 0, -0.5083333, -12.5, 100, 90, 'V', 20, 9, 300);
    return log;
}

TEST_F(GpsBabelReadsWrittenFiles, FixesKeepTheirTimesAndPositions) {
    const FlightLog log = flightAcrossHemispheres();
    CsvTable table;
    ASSERT_TRUE(readWithGpsBabel(save(log), "-t", table));

    // GPSBabel makes one track of the pressure altitudes and one of the GNSS altitudes, each
    // holding every fix; without any pressure altitude it leaves the first one out.
    const std::size_t fixes = log.fixes_.size();
    ASSERT_TRUE(table.rows.size() == fixes || table.rows.size() == 2 * fixes)
        << table.rows.size() << " points for " << fixes << " fixes";
    EXPECT_EQ(table.at(0, "Date"), "2008/01/06");

    for (std::size_t row = 0; row < table.rows.size(); ++row) {
        const Fix& fix = log.fixes_[row % fixes];
        SCOPED_TRACE("point " + std::to_string(row) + " at " + clockText(fix.time));
        EXPECT_EQ(table.at(row, "Time"), clockText(fix.time));
        EXPECT_NEAR(std::stod(table.at(row, "Latitude")),
                    writtenDegrees(fix.position.lat_deg, fix.position.lat_min), kPrintTolerance);
        EXPECT_NEAR(std::stod(table.at(row, "Longitude")),
                    writtenDegrees(fix.position.lon_deg, fix.position.lon_min), kPrintTolerance);
        // Whichever track the point belongs to, its altitude is one the fix wrote (negative ones
        // as 0, which GPSBabel leaves empty).
        const std::string altitude = table.at(row, "Altitude");
        const std::set<int> written = {std::max(0, int{fix.pressure_alt}),
                                       std::max(0, int{fix.gps_alt})};
        if (altitude.empty())
            EXPECT_TRUE(written.count(0) == 1) << "no altitude, but none of them is 0";
        else
            EXPECT_TRUE(written.count(static_cast<int>(std::stod(altitude))) == 1) << altitude;
    }
}

TEST_F(GpsBabelReadsWrittenFiles, TaskPointsKeepTheirNamesAndPositions) {
    FlightLog log = flightAcrossHemispheres();
    log.has_task_ = true;
    log.task_.declaration_date = IgcDate{5, 1, 8};
    log.task_.declaration_time = IgcTime{10, 20, 30};
    log.task_.flight_date = IgcDate{6, 1, 8};
    log.task_.turnpoint_count = 2;
    log.task_.description = "Two turnpoints";
    log.task_.takeoff = TaskPoint(52.108333, -0.104167, "Home");
    log.task_.start = TaskPoint(52.16875, 1.045833, "Start");
    log.task_.turnpoints = {TaskPoint(-33.758333, 151.204167, "Harbour"),
                            TaskPoint(-0.0125, -70.008333, "Lake")};
    log.task_.finish = TaskPoint(52.16875, 1.045833, "Finish");
    log.task_.landing = TaskPoint(52.108333, -0.104167, "Home");
    const std::vector<TaskPoint> points = {log.task_.takeoff,       log.task_.start,
                                           log.task_.turnpoints[0], log.task_.turnpoints[1],
                                           log.task_.finish,        log.task_.landing};

    CsvTable table;
    ASSERT_TRUE(readWithGpsBabel(save(log), "-r", table));
    ASSERT_EQ(table.rows.size(), points.size());
    for (std::size_t row = 0; row < points.size(); ++row) {
        const TaskPoint& point = points[row];
        SCOPED_TRACE(point.name);
        EXPECT_EQ(table.at(row, "Description"), point.name);
        // The route carries the declaration's date and time.
        EXPECT_EQ(table.at(row, "Date"), "2008/01/05");
        EXPECT_EQ(table.at(row, "Time"), "10:20:30");
        EXPECT_NEAR(std::stod(table.at(row, "Latitude")),
                    writtenDegrees(point.position.lat_deg, point.position.lat_min),
                    kPrintTolerance);
        EXPECT_NEAR(std::stod(table.at(row, "Longitude")),
                    writtenDegrees(point.position.lon_deg, point.position.lon_min),
                    kPrintTolerance);
    }
}

} // namespace
