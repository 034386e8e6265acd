#pragma once

#include <ctime>
#include <tuple>

// A moment of local time, as the program's clock gives it.
inline std::time_t localTime(int year, int month, int day, int hour = 0, int minute = 0,
                             int second = 0) {
    std::tm time{};
    std::tie(time.tm_year, time.tm_mon, time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec,
             time.tm_isdst) = std::tuple(year - 1900, month - 1, day, hour, minute, second, -1);
    return std::mktime(&time);
}
