#include "app/GrabWindow.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace {

// A local time of the zone set for the test, "YYYY-MM-DD HH:MM".
std::time_t localAt(const std::string& text) {
    std::tm time{};
    EXPECT_NE(strptime(text.c_str(), "%Y-%m-%d %H:%M", &time), nullptr) << text;
    time.tm_isdst = -1;
    return std::mktime(&time);
}

ScheduleOptions between(const char* days = "1111111", int from = 7 * 60, int to = 19 * 60) {
    return {
        .mode = ScheduleOptions::betweenTimes, .fromMinutes = from, .toMinutes = to, .days = days};
}

ScheduleOptions daylight(double latitude, double longitude, bool civil = false) {
    return {.mode = civil ? ScheduleOptions::civilDaylight : ScheduleOptions::daylight,
            .latitude = latitude,
            .longitude = longitude};
}

const ScheduleOptions oslo = daylight(59.91, 10.75);
const ScheduleOptions tromso = daylight(69.65, 18.96);

// At now in Oslo's time zone: grab, or wait until resume (within tolerance seconds; the
// published sunrise times are whole minutes), with the tool-tip's words when given.
struct ScheduleCase {
    const char* name;
    ScheduleOptions options;
    const char* now;
    const char* resume; // null: grab now
    int tolerance = 0;
    const char* words = nullptr;
};

class GrabWindowTest : public testing::TestWithParam<ScheduleCase> {
protected:
    void SetUp() override {
        setenv("TZ", "Europe/Oslo", 1);
        tzset();
    }
    void TearDown() override {
        previousZone ? setenv("TZ", previousZone->c_str(), 1) : unsetenv("TZ");
        tzset();
    }

    const std::optional<std::string> previousZone =
        std::getenv("TZ") ? std::optional<std::string>(std::getenv("TZ")) : std::nullopt;
};

TEST_P(GrabWindowTest, AnswersAsItsRowSays) {
    const ScheduleCase& row = GetParam();
    const GrabWindow window([&] { return localAt(row.now); });
    const GrabWindow::Answer answer = window.check(row.options);
    EXPECT_EQ(answer.grab, row.resume == nullptr);
    if (row.resume) {
        EXPECT_NEAR(static_cast<double>(answer.resumeAt), static_cast<double>(localAt(row.resume)),
                    row.tolerance);
    }
    if (row.words) {
        EXPECT_EQ(window.waitingText(answer), row.words);
    }
}

const ScheduleOptions overnight = between("1111111", 22 * 60, 6 * 60);

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, GrabWindowTest, testing::Values(
    ScheduleCase{"AlwaysGrabs", ScheduleOptions{}, "2026-12-21 03:00", nullptr},
    ScheduleCase{"BeforeTheWindow", between(), "2026-06-10 06:59", "2026-06-10 07:00", 0,
                 "waiting until 07:00"},
    ScheduleCase{"AtItsStart", between(), "2026-06-10 07:00", nullptr},
    ScheduleCase{"AtItsEnd", between(), "2026-06-10 19:00", "2026-06-11 07:00"},
    ScheduleCase{"AcrossMidnightLate", overnight, "2026-06-10 23:30", nullptr},
    ScheduleCase{"AcrossMidnightEarly", overnight, "2026-06-11 05:59", nullptr},
    ScheduleCase{"AcrossMidnightEnded", overnight, "2026-06-11 06:00", "2026-06-11 22:00"},
    ScheduleCase{"WeekendSkipped", between("1111100"), "2026-06-13 10:00", "2026-06-15 07:00", 0,
                 "waiting until 2026-06-15 07:00"},
    ScheduleCase{"FridayNightRunsIntoSaturday", between("1111100", 22 * 60, 6 * 60), "2026-06-13 01:00", nullptr},
    ScheduleCase{"SpringForwardMorning", between(), "2026-03-29 06:59", "2026-03-29 07:00"},
    ScheduleCase{"SpringForwardNight", between(), "2026-03-28 19:30", "2026-03-29 07:00"},
    ScheduleCase{"FallBackNight", between(), "2026-10-24 19:30", "2026-10-25 07:00"},
    ScheduleCase{"OsloJuneBeforeSunrise", oslo, "2026-06-21 03:00", "2026-06-21 03:54", 120},
    ScheduleCase{"OsloJuneDay", oslo, "2026-06-21 22:30", nullptr},
    ScheduleCase{"OsloJuneAfterSunset", oslo, "2026-06-21 22:50", "2026-06-22 03:54", 120},
    ScheduleCase{"OsloDecemberBeforeSunrise", oslo, "2026-12-21 08:00", "2026-12-21 09:18", 120},
    ScheduleCase{"OsloDecemberAfterSunset", oslo, "2026-12-21 15:20", "2026-12-22 09:18", 120},
    ScheduleCase{"OsloDecemberTwilight", daylight(59.91, 10.75, true), "2026-12-21 08:30", nullptr},
    ScheduleCase{"TromsoMidnightSun", tromso, "2026-06-21 00:30", nullptr},
    ScheduleCase{"TromsoPolarNight", tromso, "2026-12-21 12:00", "2027-01-15 12:00", 2 * 24 * 3600},
    ScheduleCase{"TromsoPolarNightTwilight", daylight(69.65, 18.96, true), "2026-12-21 11:00", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
