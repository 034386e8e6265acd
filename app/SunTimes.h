#pragma once

// Sunrise and sunset of a calendar day at a place, by the NOAA solar calculator's equations
// (after Meeus, "Astronomical Algorithms"), good to about a minute between the polar circles.
class SunTimes {
public:
    enum class Day {
        risesAndSets,
        alwaysUp,   // midnight sun: the sun does not set that day
        alwaysDown, // polar night: the sun does not rise that day
    };

    struct Result {
        Day day;
        // Minutes after 00:00 UTC of the date; below 0 or above 1440 where the event falls on
        // the UTC day before or after. Only for risesAndSets.
        double riseUtcMinutes = 0;
        double setUtcMinutes = 0;
    };

    SunTimes() = delete;

    // Latitude north positive, longitude east positive, in degrees. With civilTwilight the
    // day runs from dawn to dusk (the sun 6 degrees below the horizon) instead of from the
    // upper limb's rise to its set (90.833 degrees from the zenith, refraction included).
    static Result forDate(int year, int month, int day, double latitude, double longitude,
                          bool civilTwilight);
};
