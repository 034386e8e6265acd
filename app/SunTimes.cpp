#include "app/SunTimes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double degree = std::numbers::pi / 180;

// The Julian day of 00:00 UTC of a Gregorian date.
double julianDay(int year, int month, int day) {
    if (month <= 2) {
        year -= 1;
        month += 12;
    }
    const int century = year / 100;
    const int leap = 2 - century + century / 4;
    return std::floor(365.25 * (year + 4716)) + std::floor(30.6001 * (month + 1)) + day + leap -
           1524.5;
}

struct Sun {
    double declination;    // radians
    double equationOfTime; // minutes
};

// The sun's declination and the equation of time at t Julian centuries from J2000.0.
Sun sunAt(double t) {
    const double meanLongitude = std::fmod(280.46646 + t * (36000.76983 + t * 0.0003032), 360);
    const double anomaly = 357.52911 + t * (35999.05029 - 0.0001537 * t);
    const double eccentricity = 0.016708634 - t * (0.000042037 + 0.0000001267 * t);
    const double m = anomaly * degree;
    const double centre = std::sin(m) * (1.914602 - t * (0.004817 + 0.000014 * t)) +
                          std::sin(2 * m) * (0.019993 - 0.000101 * t) + std::sin(3 * m) * 0.000289;
    const double omega = (125.04 - 1934.136 * t) * degree;
    const double apparent = (meanLongitude + centre - 0.00569 - 0.00478 * std::sin(omega)) * degree;
    const double meanObliquity =
        23 + (26 + (21.448 - t * (46.815 + t * (0.00059 - t * 0.001813))) / 60) / 60;
    const double obliquity = (meanObliquity + 0.00256 * std::cos(omega)) * degree;
    const double y = std::pow(std::tan(obliquity / 2), 2);
    const double l0 = meanLongitude * degree;
    const double equation = y * std::sin(2 * l0) - 2 * eccentricity * std::sin(m) +
                            4 * eccentricity * y * std::sin(m) * std::cos(2 * l0) -
                            0.5 * y * y * std::sin(4 * l0) -
                            1.25 * eccentricity * eccentricity * std::sin(2 * m);
    return {std::asin(std::sin(obliquity) * std::sin(apparent)), 4 * equation / degree};
}

// The cosine of the hour angle at which the sun stands at the zenith distance.
double hourAngleCosine(double latitude, double declination, double zenith) {
    const double phi = latitude * degree;
    return std::cos(zenith * degree) / (std::cos(phi) * std::cos(declination)) -
           std::tan(phi) * std::tan(declination);
}

} // namespace

SunTimes::Result SunTimes::forDate(int year, int month, int day, double latitude, double longitude,
                                   bool civilTwilight) {
    const double zenith = civilTwilight ? 96 : 90.833;
    const double midnight = julianDay(year, month, day);
    const auto centuries = [midnight](double minutes) {
        return (midnight + minutes / 1440 - 2451545) / 36525;
    };
    // First at the day's noon, then once more at each event's own time.
    const double noon = 720 - 4 * longitude - sunAt(centuries(720 - 4 * longitude)).equationOfTime;
    const Sun atNoon = sunAt(centuries(noon));
    const double cosine = hourAngleCosine(latitude, atNoon.declination, zenith);
    if (cosine > 1) {
        return {Day::alwaysDown};
    }
    if (cosine < -1) {
        return {Day::alwaysUp};
    }
    const auto event = [&](double sign) {
        double minutes = noon + sign * 4 * std::acos(cosine) / degree;
        for (int pass = 0; pass < 2; ++pass) {
            const Sun sun = sunAt(centuries(minutes));
            const double c =
                std::clamp(hourAngleCosine(latitude, sun.declination, zenith), -1.0, 1.0);
            minutes = 720 - 4 * longitude - sun.equationOfTime + sign * 4 * std::acos(c) / degree;
        }
        return minutes;
    };
    return {Day::risesAndSets, event(-1), event(1)};
}
