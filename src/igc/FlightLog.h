#pragma once

// The in-memory content of one IGC flight-recorder file: A record identification, H header
// values, the I record's extension columns, the C record task and the B record fixes.

#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <string>
#include <vector>

namespace igc {

/// A position as the IGC text writes it: signed whole degrees and signed minutes per axis.
/// Degrees and minutes always carry the same sign; decimal degrees = degrees + minutes / 60.
struct Coordinate {
    std::int16_t lat_deg = 0; // negative south
    std::int16_t lon_deg = 0; // negative west
    float lat_min = 0.0f;     // minutes with their decimal part, negative south
    float lon_min = 0.0f;     // minutes with their decimal part, negative west

    Coordinate() = default;
    /// From decimal degrees: degrees truncated toward zero, the remainder in minutes.
    Coordinate(double latitude, double longitude);

    [[nodiscard]] double latitude() const { return lat_deg + static_cast<double>(lat_min) / 60.0; }
    [[nodiscard]] double longitude() const { return lon_deg + static_cast<double>(lon_min) / 60.0; }
};

/// A date as the file's DDMMYY gives it: the year holds two digits (8 for 2008).
struct IgcDate {
    std::uint8_t day = 0;
    std::uint8_t month = 0;
    std::int16_t year = 0;
};

struct IgcTime {
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
};

/// One B record.
struct Fix {
    IgcTime time;                  // time of day as recorded (UTC in IGC files)
    Coordinate position;           //
    char validity = 'A';           // 'A' three-dimensional fix, 'V' otherwise
    std::int16_t pressure_alt = 0; // metres
    std::int16_t gps_alt = 0;      // metres
    std::int16_t fxa = 1;          // fix accuracy extension, metres
    std::uint8_t siu = 4;          // satellites in use extension
    std::int16_t enl = 0;          // engine noise level extension, 0..999

    Fix() = default;
    Fix(unsigned hour, unsigned minute, unsigned second, double latitude, double longitude,
        int pressure_altitude, int gps_altitude, char validity_char, int fix_accuracy,
        int satellites, int engine_noise);

    /// Reads one B record line from `in` into this fix; true when it parsed. The stream stays
    /// good on a malformed record. Columns below 1 mean that the extension is not declared.
    bool readFix(std::istream& in, int fxa_column, int siu_column, int enl_column);
};

/// One point of the declared task (a C record after the first).
struct TaskPoint {
    Coordinate position;
    std::string name; // free text after the coordinates; empty if none

    TaskPoint() = default;
    TaskPoint(double latitude, double longitude, std::string point_name);
};

/// The task declared by the block of C records.
struct Task {
    IgcDate declaration_date;
    IgcTime declaration_time;
    IgcDate flight_date;
    std::int32_t task_id = 1;         // four digits in the file
    std::int32_t turnpoint_count = 0; // as declared; `turnpoints` holds what was read
    std::string description;
    TaskPoint takeoff;
    TaskPoint start;
    TaskPoint finish;
    TaskPoint landing;
    std::vector<TaskPoint> turnpoints;
};

/// Why a file could not be read, as data: the first error that ended the reading. Warnings met
/// before or after it (a missing task point, an unknown record) never decide it.
enum class LoadError : std::uint8_t {
    None,
    NotOpened,      // the file could not be opened or read (a directory, say)
    MissingARecord, // the first line is no A record: not an IGC file
    ARecord,        // the A record does not parse
    HRecord,        // a header record does not parse
    CRecord,        // a record of the task declaration does not parse
};

struct LoadOutcome {
    LoadError error = LoadError::None;
    long long line = 0;   // 1-based line of the record at fault; 0 when there is none
    std::string record;   // that record's bytes, without its line end
    int system_error = 0; // NotOpened: the system's error number when it gave one
};

/// The reader's own words for `error` ("Missing A record", "parse error in C record"), as its
/// diagnostics say them; empty for None.
const char* loadErrorText(LoadError error);

/// One IGC file. Filled by `load`, written by `save`.
class FlightLog {
public:
    FlightLog() = default;

    /// Reads an IGC file. True when the file was read to its end; diagnostics on std::cerr.
    bool load(const char* path);
    /// The same, with the diagnostics written to `diagnostics` instead of std::cerr.
    bool load(const char* path, std::ostream& diagnostics);
    /// The same from `file`, opened for reading in binary mode by the caller and closed here;
    /// `path` names it in the diagnostics.
    bool load(std::FILE* file, const char* path, std::ostream& diagnostics);
    /// The same, telling in `outcome` why the file could not be read.
    bool load(std::FILE* file, const char* path, std::ostream& diagnostics, LoadOutcome& outcome);
    /// Writes an IGC file, replacing an existing one. False when it cannot be opened.
    bool save(const char* path) const;

    /// Whether the fixes carry pressure altitudes (any non-zero one); worked out once.
    bool usesPressureAltitude();
    /// Altitude of fix `index` in metres: pressure altitude if the log uses it, else GNSS.
    double altitudeAt(int index);
    /// Index of the first fix more than `drop` metres below the running maximum; 0 if none.
    int findAltitudeDrop(double drop);
    /// Altitude that ends the first run of `run_length` steady fixes (steps below `tolerance`
    /// metres); -9999.0 if none. The walk begins against an altitude of 0.
    double firstStableAltitude(int run_length, double tolerance);
    /// As firstStableAltitude, walking from the last fix to the first.
    double lastStableAltitude(int run_length, double tolerance);

    std::string manufacturer_ = "XXX";
    std::string logger_id_ = "000";
    IgcDate date_;
    std::int32_t fix_accuracy_ = 500; // metres
    std::string pilot_ = "Unknown";
    std::string glider_type_ = "Unknown";
    std::string glider_id_ = "Unknown";
    std::string fr_type_ = "Unknown";
    std::string gps_ = "Unknown";
    std::string hardware_version_ = "1.0";
    std::string firmware_version_ = "1.0";
    std::string competition_id_;
    std::string competition_class_;
    Task task_;
    bool has_task_ = false;
    // 1-based columns of a B record where the extension starts; below 1: not declared.
    std::int32_t fxa_column_ = -1;
    std::int32_t siu_column_ = -1;
    std::int32_t enl_column_ = -1;
    // Cache of usesPressureAltitude: -1 not yet known, 0 no, 1 yes. Never reset by load.
    std::int32_t pressure_alt_state_ = -1;
    std::vector<Fix> fixes_;
};

/// No-fix answer of the stable-altitude queries.
inline constexpr double kNoAltitude = -9999.0;

// IGC text extraction (reader): a failure puts the stream into the failed state.
std::istream& operator>>(std::istream& in, Task& task);
std::istream& operator>>(std::istream& in, TaskPoint& point);

// IGC text insertion (writer). Only Fix and Task write line ends (CR LF).
std::ostream& operator<<(std::ostream& out, const IgcTime& time);
std::ostream& operator<<(std::ostream& out, const IgcDate& date);
std::ostream& operator<<(std::ostream& out, const Coordinate& coordinate);
std::ostream& operator<<(std::ostream& out, const TaskPoint& point);
std::ostream& operator<<(std::ostream& out, const Fix& fix);
std::ostream& operator<<(std::ostream& out, const Task& task);

} // namespace igc
