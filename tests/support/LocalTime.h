#pragma once

#include <ctime>

// A moment of local time, as the program's clock gives it.
inline std::time_t localTime(int year, int month, int day, int hour = 0, int minute = 0,
                             int second = 0) {
    std::tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    time.tm_isdst = -1;
    return std::mktime(&time);
}
