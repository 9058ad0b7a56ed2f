// The IGC writer's whole output against a file kept in the repository, byte for byte: the same
// bytes on every platform, each line ended by CR LF exactly once (no text mode adds a CR).

#include "IgcTestValues.h"
#include "igc/FlightLog.h"
#include "support/FileBytes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;
using igc::Fix;
using igc::FlightLog;
using igc::IgcDate;
using igc::IgcTime;
using igc_testing::at;
using igc_testing::point;

// South and east, a turnpoint, a flight across midnight, a negative and a full-width field.
FlightLog southernTaskFlight() {
    FlightLog log;
    log.manufacturer_ = "XSY";
    log.logger_id_ = "ABC";
    log.date_ = IgcDate{29, 2, 2024};
    log.fix_accuracy_ = 7;
    log.pilot_ = "Anna Example";
    log.glider_type_ = "Discus 2b";
    log.glider_id_ = "D-KXYZ";
    log.firmware_version_ = "4.2b";
    log.fr_type_ = "Thermora Simulator";
    log.gps_ = "Sim";
    log.competition_id_ = "AE";

    log.has_task_ = true;
    log.task_.declaration_date = IgcDate{28, 2, 24};
    log.task_.declaration_time = IgcTime{23, 59, 58};
    log.task_.flight_date = IgcDate{29, 2, 2024};
    log.task_.task_id = 3;
    log.task_.turnpoint_count = 1;
    log.task_.description = "Out and return";
    log.task_.takeoff = point(at(-33, -45.5f, 151, 12.25f), "Field");
    log.task_.start = point(at(-33, -50.0f, 151, 0.0f), "Start");
    log.task_.turnpoints = {point(at(-34, -5.125f, 150, 30.5f), "TP 1")};
    log.task_.finish = point(at(-33, -50.0f, 151, 0.0f), "Finish");
    log.task_.landing = log.task_.takeoff;

    Fix before_midnight;
    before_midnight.time = IgcTime{23, 59, 59};
    before_midnight.position = at(-33, -45.5f, 151, 12.25f);
    before_midnight.pressure_alt = -12; // written as 0
    before_midnight.gps_alt = 35;
    before_midnight.fxa = 7;
    before_midnight.siu = 12;
    before_midnight.enl = 0;
    Fix after_midnight;
    after_midnight.time = IgcTime{0, 0, 1};
    after_midnight.position = at(0, -0.5f, 0, -0.25f); // hemispheres from the minutes' signs
    after_midnight.validity = 'V';
    after_midnight.pressure_alt = 1234;
    after_midnight.gps_alt = -1;
    after_midnight.fxa = 999;
    after_midnight.siu = 0;
    after_midnight.enl = 999;
    log.fixes_ = {before_midnight, after_midnight};
    return log;
}

TEST(IgcWriterGolden, WholeFileIsTheStoredBytes) {
    std::random_device random;
    const fs::path dir =
        fs::temp_directory_path() /
        ("thermora-golden-" + std::to_string(random()) + "-" + std::to_string(random()));
    ASSERT_TRUE(fs::create_directories(dir));
    const fs::path written = dir / "southern-task.igc";
    ASSERT_TRUE(southernTaskFlight().save(written.string().c_str()));
    const std::string bytes = testing_support::bytesOf(written);
    const std::string expected =
        testing_support::bytesOf(fs::path(THERMORA_TEST_DATA) / "writer" / "southern-task.igc");
    ASSERT_FALSE(expected.empty()) << "no golden file in " THERMORA_TEST_DATA "/writer";
    EXPECT_EQ(bytes, expected);
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

} // namespace
