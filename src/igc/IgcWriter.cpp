// Writes the IGC text form of the flight-log model: one insertion operator per value type and
// FlightLog::save on top of them.
//
// Every piece is formatted with snprintf into a small stack buffer and handed to the stream with
// write(): that leaves the stream's fill, width and flags untouched, and every line ends with
// CR LF as bytes, whatever the platform's text-mode line end would be.

#include "igc/FlightLog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <ostream>
#include <string>
#include <string_view>

namespace igc {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// An IGC coordinate as its text gives it: magnitudes plus a hemisphere letter per axis.
struct CoordinateText {
    int lat_deg;
    int lat_min;         // whole minutes
    int lat_thousandths; // thousandths of a minute, truncated
    char lat_hemisphere;
    int lon_deg;
    int lon_min;
    int lon_thousandths;
    char lon_hemisphere;
};

// Whole minutes and truncated thousandths of the magnitude of `minutes`. The thousandths come
// from the double value of the float, so 6.343f (held as 6.34299993...) gives 6 and 342.
// Nothing bounds the minutes of a Coordinate; values beyond the range of int (or NaN) are
// clamped so that the conversion to int stays defined.
void splitMinutes(float minutes, int& whole, int& thousandths) {
    constexpr double kLargest = 2147483647.0;
    double magnitude = std::fabs(static_cast<double>(minutes));
    if (std::isnan(magnitude))
        magnitude = 0.0;
    else if (magnitude > kLargest)
        magnitude = kLargest;
    const double whole_minutes = std::trunc(magnitude);
    whole = static_cast<int>(whole_minutes);
    thousandths = static_cast<int>((magnitude - whole_minutes) * 1000.0);
}

// One axis: the hemisphere letter follows the sign of either part, the digits are magnitudes.
void splitAxis(std::int16_t degrees, float minutes, char positive, char negative, int& deg_out,
               int& min_out, int& thousandths_out, char& hemisphere_out) {
    hemisphere_out = (degrees < 0 || minutes < 0.0f) ? negative : positive;
    deg_out = std::abs(static_cast<int>(degrees));
    splitMinutes(minutes, min_out, thousandths_out);
}

CoordinateText coordinateText(const Coordinate& c) {
    CoordinateText text{};
    splitAxis(c.lat_deg, c.lat_min, 'N', 'S', text.lat_deg, text.lat_min, text.lat_thousandths,
              text.lat_hemisphere);
    splitAxis(c.lon_deg, c.lon_min, 'E', 'W', text.lon_deg, text.lon_min, text.lon_thousandths,
              text.lon_hemisphere);
    return text;
}

// The last two digits of the year as it would be written in full: 2008 -> 8, 8 -> 8, and a
// negative year gives the digits of its magnitude (-5 -> 5), never a minus sign in the field.
int twoDigitYear(std::int16_t year) {
    return std::abs(static_cast<int>(year)) % 100;
}

// Hands what snprintf formatted into `buffer` to the stream. snprintf answers with the length it
// would have needed; the buffers are sized for the widest values of their fields, and the length
// is held to the buffer all the same.
template <std::size_t N>
void writeFormatted(std::ostream& out, const char (&buffer)[N], int length) {
    if (length > 0)
        out.write(buffer, std::min<std::streamsize>(length, static_cast<std::streamsize>(N - 1)));
}

void writeText(std::ostream& out, std::string_view text) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// One header line: a fixed prefix, a free-text value and the line end.
void writeHeader(std::ostream& out, std::string_view prefix, const std::string& value) {
    writeText(out, prefix);
    writeText(out, value);
    writeText(out, kLineEnd);
}

// "C" and one task point, as its own line.
void writeTaskPointLine(std::ostream& out, const TaskPoint& point) {
    out.put('C');
    out << point;
    writeText(out, kLineEnd);
}

} // namespace

std::ostream& operator<<(std::ostream& out, const IgcTime& time) {
    char buffer[32];
    const int length =
        std::snprintf(buffer, sizeof buffer, "%02d%02d%02d", time.hour, time.minute, time.second);
    writeFormatted(out, buffer, length);
    return out;
}

std::ostream& operator<<(std::ostream& out, const IgcDate& date) {
    char buffer[32];
    const int length = std::snprintf(buffer, sizeof buffer, "%02d%02d%02d", date.day, date.month,
                                     twoDigitYear(date.year));
    writeFormatted(out, buffer, length);
    return out;
}

std::ostream& operator<<(std::ostream& out, const Coordinate& coordinate) {
    const CoordinateText t = coordinateText(coordinate);
    char buffer[96];
    const int length = std::snprintf(buffer, sizeof buffer, "%02d%02d%03d%c%03d%02d%03d%c",
                                     t.lat_deg, t.lat_min, t.lat_thousandths, t.lat_hemisphere,
                                     t.lon_deg, t.lon_min, t.lon_thousandths, t.lon_hemisphere);
    writeFormatted(out, buffer, length);
    return out;
}

std::ostream& operator<<(std::ostream& out, const TaskPoint& point) {
    out << point.position;
    writeText(out, point.name);
    return out;
}

std::ostream& operator<<(std::ostream& out, const Fix& fix) {
    // The whole B record in one call: this is the line a long flight writes thousands of times.
    const CoordinateText t = coordinateText(fix.position);
    const int pressure_alt = fix.pressure_alt < 0 ? 0 : fix.pressure_alt;
    const int gps_alt = fix.gps_alt < 0 ? 0 : fix.gps_alt;
    char buffer[160];
    const int length = std::snprintf(
        buffer, sizeof buffer,
        "B%02d%02d%02d%02d%02d%03d%c%03d%02d%03d%c%c%05d%05d%03d%02d%03d\r\n", fix.time.hour,
        fix.time.minute, fix.time.second, t.lat_deg, t.lat_min, t.lat_thousandths, t.lat_hemisphere,
        t.lon_deg, t.lon_min, t.lon_thousandths, t.lon_hemisphere, fix.validity, pressure_alt,
        gps_alt, fix.fxa, fix.siu, fix.enl);
    writeFormatted(out, buffer, length);
    return out;
}

std::ostream& operator<<(std::ostream& out, const Task& task) {
    out.put('C');
    out << task.declaration_date << task.declaration_time << task.flight_date;
    char buffer[32];
    // The count of the turnpoints written below, so that the file reads back with the same
    // task: a task read from a short declaration holds fewer points than it declared, and with
    // the declared count a reader would take the finish and landing for turnpoints.
    const int length = std::snprintf(buffer, sizeof buffer, "%04d%02d", task.task_id,
                                     static_cast<int>(task.turnpoints.size()));
    writeFormatted(out, buffer, length);
    writeText(out, task.description);
    writeText(out, kLineEnd);

    writeTaskPointLine(out, task.takeoff);
    writeTaskPointLine(out, task.start);
    for (const TaskPoint& point : task.turnpoints)
        writeTaskPointLine(out, point);
    writeTaskPointLine(out, task.finish);
    writeTaskPointLine(out, task.landing);
    return out;
}

bool FlightLog::save(const char* path) const {
    if (path == nullptr) {
        std::cerr << "IGCLib: Couldn't open output file ''\n";
        return false;
    }
    // Binary, so that the CR LF we write is what lands in the file on every platform.
    std::ofstream out(path, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!out) {
        std::cerr << "IGCLib: Couldn't open output file '" << path << "'\n";
        return false;
    }

    out.put('A');
    writeText(out, manufacturer_);
    writeText(out, logger_id_);
    writeText(out, kLineEnd);

    writeText(out, "HFDTE");
    out << date_;
    writeText(out, kLineEnd);

    char buffer[32];
    const int length = std::snprintf(buffer, sizeof buffer, "HFFXA%03d\r\n", fix_accuracy_);
    writeFormatted(out, buffer, length);

    writeHeader(out, "HFPLTPILOT:", pilot_);
    writeHeader(out, "HFGTYGLIDERTYPE:", glider_type_);
    writeHeader(out, "HFGIDGLIDERID:", glider_id_);
    writeText(out, "HFDTM100GPSDATUM:WGS84\r\n");
    writeHeader(out, "HFRFWFIRMWAREVERSION:", firmware_version_);
    writeHeader(out, "HFRHWHARDWAREVERSION:", hardware_version_);
    writeHeader(out, "HFFTYFRTYPE:", fr_type_);
    writeHeader(out, "HFGPS:", gps_);
    if (!competition_id_.empty())
        writeHeader(out, "HFCIDCOMPETITIONID:", competition_id_);
    if (!competition_class_.empty())
        writeHeader(out, "HFCCLCOMPETITIONCLASS:", competition_class_);

    // Always the columns of the B line this writer produces, whatever the file was read with.
    writeText(out, "I033638FXA3940SIU4143ENL\r\n");

    if (has_task_)
        out << task_;
    for (const Fix& fix : fixes_)
        out << fix;

    // Write errors after opening are not reported: the caller only learns about the open.
    return true;
}

} // namespace igc
