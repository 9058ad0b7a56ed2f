// The IGC reader on any bytes: load, write what was read, load that again. A file that loaded
// must be written as a file that loads, with the same task flag. Where the values fit their
// fields (the writer pads but never cuts a field, so a wider one shifts the columns after it),
// fixes and task must come back as the writer's rules say: same counts, same values, positions
// to the truncated thousandth of a minute. The altitude queries run over whatever was read.

#include "FuzzSupport.h"
#include "igc/FlightLog.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using thermora_fuzz::ScratchFile;

[[noreturn]] void fail(const char* what, std::size_t index) {
    std::fprintf(stderr, "round trip: %s (at %zu)\n", what, index);
    std::abort();
}

bool fitsTwoDigits(const igc::IgcTime& t) {
    return t.hour <= 99 && t.minute <= 99 && t.second <= 99;
}

bool fitsTwoDigits(const igc::IgcDate& d) {
    return d.day <= 99 && d.month <= 99; // the year is written as its last two digits
}

// One axis as written and read back: same sign in both parts (the writer's hemisphere letter
// stands for both), magnitudes, minutes truncated to thousandths.
void checkAxis(std::int16_t deg, float min, std::int16_t deg_back, float min_back, std::size_t k) {
    if ((deg < 0 && min > 0.0f) || (deg > 0 && min < 0.0f))
        return; // parts of opposite sign: the letter cannot say both
    if (std::abs(deg) != std::abs(deg_back) ||
        std::fabs(std::fabs(min) - std::fabs(min_back)) > 0.0011f)
        fail("position changed", k);
    const bool negative = deg < 0 || min < 0.0f;
    const bool negative_back = deg_back < 0 || min_back < 0.0f;
    if (negative != negative_back && (deg != 0 || std::fabs(min) >= 0.001f))
        fail("hemisphere changed", k);
}

void checkFixes(const igc::FlightLog& log, const igc::FlightLog& back) {
    for (const igc::Fix& fix : log.fixes_) {
        if (!fitsTwoDigits(fix.time))
            return; // a B line shifted by a wide time may not parse at all
    }
    if (back.fixes_.size() != log.fixes_.size())
        fail("fix count changed", back.fixes_.size());
    for (std::size_t k = 0; k < log.fixes_.size(); ++k) {
        const igc::Fix& a = log.fixes_[k];
        const igc::Fix& b = back.fixes_[k];
        if (a.time.hour != b.time.hour || a.time.minute != b.time.minute ||
            a.time.second != b.time.second)
            fail("time changed", k);
        if (a.validity != b.validity)
            fail("validity changed", k);
        if (std::max<int>(a.pressure_alt, 0) != b.pressure_alt ||
            std::max<int>(a.gps_alt, 0) != b.gps_alt)
            fail("altitude changed", k);
        checkAxis(a.position.lat_deg, a.position.lat_min, b.position.lat_deg, b.position.lat_min,
                  k);
        checkAxis(a.position.lon_deg, a.position.lon_min, b.position.lon_deg, b.position.lon_min,
                  k);
        // A CR as validity character ends the columns that extensions may be read from.
        if (a.validity == '\r')
            continue;
        if (a.fxa != b.fxa)
            fail("FXA changed", k);
        if (a.siu > 99)
            continue; // three digits in a two-digit field: ENL moves
        if (a.siu != b.siu || a.enl != b.enl)
            fail("SIU or ENL changed", k);
    }
}

// The reader keeps 255 characters of a line. Text read from a line whose numbers were written
// narrower than the writer pads them comes back as long as the written line lets it.
constexpr std::size_t kLongestLine = 255;
constexpr std::size_t kTaskHeaderNumbers = 1 + 3 * 6 + 4 + 2; // "C", dates and time, id, count
constexpr std::size_t kTaskPointNumbers = 1 + 8 + 9;          // "C" and the coordinate

std::string keptOf(const std::string& text, std::size_t before) {
    return text.substr(0, kLongestLine - before);
}

void checkPoint(const igc::TaskPoint& a, const igc::TaskPoint& b, std::size_t k) {
    if (keptOf(a.name, kTaskPointNumbers) != b.name)
        fail("task point name changed", k);
    checkAxis(a.position.lat_deg, a.position.lat_min, b.position.lat_deg, b.position.lat_min, k);
    checkAxis(a.position.lon_deg, a.position.lon_min, b.position.lon_deg, b.position.lon_min, k);
}

void checkTask(const igc::FlightLog& log, const igc::FlightLog& back) {
    const igc::Task& a = log.task_;
    const igc::Task& b = back.task_;
    if (!log.has_task_ || !fitsTwoDigits(a.declaration_date) ||
        !fitsTwoDigits(a.declaration_time) || !fitsTwoDigits(a.flight_date))
        return;
    // A block that ended early holds fewer turnpoints than it declares; its finish and landing
    // were never read.
    if (a.turnpoints.size() != static_cast<std::size_t>(std::max(a.turnpoint_count, 0)))
        return;
    const auto sameDate = [](const igc::IgcDate& x, const igc::IgcDate& y) {
        return x.day == y.day && x.month == y.month && std::abs(x.year) % 100 == y.year;
    };
    const auto sameTime = [](const igc::IgcTime& x, const igc::IgcTime& y) {
        return x.hour == y.hour && x.minute == y.minute && x.second == y.second;
    };
    if (!sameDate(a.declaration_date, b.declaration_date) ||
        !sameDate(a.flight_date, b.flight_date) ||
        !sameTime(a.declaration_time, b.declaration_time))
        fail("task declaration date or time changed", 0);
    // The count written is that of the turnpoints written (a negative declared count holds none).
    if (a.task_id != b.task_id || static_cast<int>(a.turnpoints.size()) != b.turnpoint_count ||
        keptOf(a.description, kTaskHeaderNumbers) != b.description ||
        a.turnpoints.size() != b.turnpoints.size())
        fail("task header changed", 0);
    checkPoint(a.takeoff, b.takeoff, 0);
    checkPoint(a.start, b.start, 1);
    for (std::size_t k = 0; k < a.turnpoints.size(); ++k)
        checkPoint(a.turnpoints[k], b.turnpoints[k], k + 2);
    checkPoint(a.finish, b.finish, a.turnpoints.size() + 2);
    checkPoint(a.landing, b.landing, a.turnpoints.size() + 3);
}

void queryAltitudes(igc::FlightLog& log) {
    static_cast<void>(log.findAltitudeDrop(100.0));
    static_cast<void>(log.firstStableAltitude(5, 2.0));
    static_cast<void>(log.lastStableAltitude(5, 2.0));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    thermora_fuzz::silenceStandardStreams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ScratchFile input("igc-load-input.igc");
    static const ScratchFile written("igc-load-written.igc");
    input.write(data, size);

    igc::FlightLog log;
    if (!log.load(input.path().c_str()))
        return 0;
    if (!log.save(written.path().c_str()))
        fail("cannot write the temporary file", 0);
    igc::FlightLog back;
    if (!back.load(written.path().c_str()))
        fail("a written file does not load", 0);
    if (back.has_task_ != log.has_task_)
        fail("task flag changed", 0);
    checkFixes(log, back);
    checkTask(log, back);
    queryAltitudes(log);
    return 0;
}
