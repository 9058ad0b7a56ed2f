// A flight log saved and loaded again comes back unchanged, apart from the few places where the
// written text cannot carry the value: the GPS header gains a leading colon, thousandths of a
// minute are truncated, negative altitudes come back as 0 and the extension columns are those of
// the written I record.

#include "IgcTestValues.h"
#include "igc/FlightLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;
using igc::Coordinate;
using igc::Fix;
using igc::FlightLog;
using igc::IgcDate;
using igc::IgcTime;
using igc::Task;
using igc::TaskPoint;
using igc_testing::at;
using igc_testing::point;
using igc_testing::writtenMinutes;

void expectSameWrittenPosition(const Coordinate& loaded, const Coordinate& saved) {
    EXPECT_EQ(loaded.lat_deg, saved.lat_deg);
    EXPECT_EQ(loaded.lon_deg, saved.lon_deg);
    // A float near 60 minutes resolves about 4e-6; a lost thousandth is 1e-3.
    EXPECT_NEAR(loaded.lat_min, writtenMinutes(saved.lat_min), 2e-5);
    EXPECT_NEAR(loaded.lon_min, writtenMinutes(saved.lon_min), 2e-5);
}

void expectSamePoint(const TaskPoint& loaded, const TaskPoint& saved) {
    SCOPED_TRACE(saved.name);
    EXPECT_EQ(loaded.name, saved.name);
    expectSameWrittenPosition(loaded.position, saved.position);
}

void expectSameDate(const IgcDate& loaded, const IgcDate& saved) {
    EXPECT_EQ(loaded.day, saved.day);
    EXPECT_EQ(loaded.month, saved.month);
    EXPECT_EQ(loaded.year, saved.year);
}

void expectSameTime(const IgcTime& loaded, const IgcTime& saved) {
    EXPECT_EQ(loaded.hour, saved.hour);
    EXPECT_EQ(loaded.minute, saved.minute);
    EXPECT_EQ(loaded.second, saved.second);
}

class RoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::temp_directory_path() /
               ("thermora-roundtrip-" + std::to_string(random()) + "-" + std::to_string(random()));
        ASSERT_TRUE(fs::create_directories(dir_));
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // Saves `log` and loads the file into a new flight log.
    FlightLog saveAndLoad(const FlightLog& log) {
        const std::string path = (dir_ / "flight.igc").string();
        EXPECT_TRUE(log.save(path.c_str()));
        FlightLog loaded;
        EXPECT_TRUE(loaded.load(path.c_str()));
        return loaded;
    }

    fs::path dir_;
};

void expectSameHeader(const FlightLog& loaded, const FlightLog& saved) {
    EXPECT_EQ(loaded.manufacturer_, saved.manufacturer_);
    EXPECT_EQ(loaded.logger_id_, saved.logger_id_);
    expectSameDate(loaded.date_, saved.date_);
    EXPECT_EQ(loaded.fix_accuracy_, saved.fix_accuracy_);
    EXPECT_EQ(loaded.pilot_, saved.pilot_);
    EXPECT_EQ(loaded.glider_type_, saved.glider_type_);
    EXPECT_EQ(loaded.glider_id_, saved.glider_id_);
    EXPECT_EQ(loaded.fr_type_, saved.fr_type_);
    EXPECT_EQ(loaded.gps_, ":" + saved.gps_); // "HFGPS:" has no long name before its colon
    EXPECT_EQ(loaded.hardware_version_, saved.hardware_version_);
    EXPECT_EQ(loaded.firmware_version_, saved.firmware_version_);
    EXPECT_EQ(loaded.competition_id_, saved.competition_id_);
    EXPECT_EQ(loaded.competition_class_, saved.competition_class_);
    EXPECT_EQ(loaded.has_task_, saved.has_task_);
    // The written I record, whatever the columns were before.
    EXPECT_EQ(loaded.fxa_column_, 36);
    EXPECT_EQ(loaded.siu_column_, 39);
    EXPECT_EQ(loaded.enl_column_, 41);
}

TEST_F(RoundTrip, NewFlightLog) {
    const FlightLog saved;
    const FlightLog loaded = saveAndLoad(saved);
    expectSameHeader(loaded, saved);
    EXPECT_TRUE(loaded.fixes_.empty());
}

TEST_F(RoundTrip, EveryFieldTheFileCarries) {
    FlightLog saved;
    saved.manufacturer_ = "TMR";
    saved.logger_id_ = "SIM 01";
    saved.date_ = IgcDate{31, 12, 8};
    saved.fix_accuracy_ = 35;
    saved.pilot_ = "Example Pilot";
    saved.glider_type_ = "ASK 21";
    saved.glider_id_ = "D-1234";
    saved.fr_type_ = "Thermora";
    saved.gps_ = "Simulated";
    saved.hardware_version_ = "3";
    saved.firmware_version_ = "2.1";
    saved.competition_id_ = "T1";
    saved.competition_class_ = "Club";
    saved.fxa_column_ = 40; // not what the written I record says
    saved.siu_column_ = -1;

    Task& task = saved.task_;
    task.declaration_date = IgcDate{30, 12, 8};
    task.declaration_time = IgcTime{18, 5, 9};
    task.flight_date = IgcDate{31, 12, 8};
    task.task_id = 42;
    task.turnpoint_count = 2;
    task.description = "Two turnpoints";
    task.takeoff = point(at(52, 6.5f, 0, -6.25f), "Home");
    task.start = point(at(52, 10.125f, 1, 2.75f), "Start");
    task.turnpoints = {point(at(-33, -45.343f, 151, 12.198f), "Harbour"),
                       point(at(0, -0.75f, -70, -0.5f), "Lake")};
    task.finish = point(at(52, 10.125f, 1, 2.75f), "Finish");
    task.landing = point(at(52, 6.5f, 0, -6.25f), "Home");
    saved.has_task_ = true;

    Fix fix;
    fix.time = IgcTime{11, 1, 35};
    fix.position = at(52, 6.343f, 0, -6.198f); // written as 6.342 and 6.197
    fix.pressure_alt = 587;
    fix.gps_alt = 558;
    fix.fxa = 35;
    fix.siu = 7;
    fix.enl = 40;
    saved.fixes_.push_back(fix);
    fix.time = IgcTime{12, 0, 0};
    fix.position = at(-33, -51.75f, -179, -59.999f);
    fix.validity = 'V';
    fix.pressure_alt = -12; // comes back 0
    fix.gps_alt = -1;
    fix.fxa = 999;
    fix.siu = 12;
    fix.enl = 999;
    saved.fixes_.push_back(fix);
    fix.time = IgcTime{23, 59, 59};
    fix.position = at(0, -0.125f, 0, 0.0f);
    fix.validity = 'A';
    fix.pressure_alt = 32767;
    fix.gps_alt = 0;
    fix.fxa = 1;
    fix.siu = 0;
    fix.enl = 0;
    saved.fixes_.push_back(fix);

    const FlightLog loaded = saveAndLoad(saved);
    expectSameHeader(loaded, saved);

    const Task& back = loaded.task_;
    expectSameDate(back.declaration_date, task.declaration_date);
    expectSameTime(back.declaration_time, task.declaration_time);
    expectSameDate(back.flight_date, task.flight_date);
    EXPECT_EQ(back.task_id, task.task_id);
    EXPECT_EQ(back.turnpoint_count, task.turnpoint_count);
    EXPECT_EQ(back.description, task.description);
    expectSamePoint(back.takeoff, task.takeoff);
    expectSamePoint(back.start, task.start);
    ASSERT_EQ(back.turnpoints.size(), task.turnpoints.size());
    for (std::size_t i = 0; i < task.turnpoints.size(); ++i)
        expectSamePoint(back.turnpoints[i], task.turnpoints[i]);
    expectSamePoint(back.finish, task.finish);
    expectSamePoint(back.landing, task.landing);

    ASSERT_EQ(loaded.fixes_.size(), saved.fixes_.size());
    for (std::size_t i = 0; i < saved.fixes_.size(); ++i) {
        const Fix& in = loaded.fixes_[i];
        const Fix& out = saved.fixes_[i];
        SCOPED_TRACE("fix " + std::to_string(i));
        expectSameTime(in.time, out.time);
        expectSameWrittenPosition(in.position, out.position);
        EXPECT_EQ(in.validity, out.validity);
        EXPECT_EQ(in.pressure_alt, std::max<std::int16_t>(out.pressure_alt, 0));
        EXPECT_EQ(in.gps_alt, std::max<std::int16_t>(out.gps_alt, 0));
        EXPECT_EQ(in.fxa, out.fxa);
        EXPECT_EQ(in.siu, out.siu);
        EXPECT_EQ(in.enl, out.enl);
    }
    // The truncation really happened: the float 6.343 comes back one thousandth lower.
    EXPECT_NEAR(loaded.fixes_[0].position.lat_min, 6.342, 1e-5);
}

} // namespace
