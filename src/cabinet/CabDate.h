#pragma once

#include <cstdint>
#include <locale>
#include <string>

#include "cabinet/CabFile.h"

// A cabinet's DOS (FAT) date and time as calendar fields. No time-zone conversion is made
// anywhere: the fields are the wall-clock time stored in the cabinet.
struct CabCalendar {
    int year = 1601;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool operator==(const CabCalendar&) const = default;
};

// The fields of a DOS date and time. A date or time outside the calendar cannot be turned into
// a file time and gives the file-time zero, 1601-01-01 00:00:00, as the platform's conversion
// leaves it.
CabCalendar DosToCalendar(std::uint16_t dosDate, std::uint16_t dosTime);

// The automation date of the fields (whole seconds).
CabDateTime CalendarToDate(const CabCalendar& c);
// And back, rounded to the second.
CabCalendar DateToCalendar(CabDateTime date);

// The date as text under the given locale's formats: the short date, a blank and the long time,
// the time left out at exactly midnight. The "C" locale has no regional formats of its own and
// gets the Croatian ones instead: d.M.yyyy. and H:mm:ss.
std::string DateText(const CabCalendar& c, const std::locale& locale);

// The locale of the user's regional settings for dates: LC_ALL, else LC_TIME, else LANG. Unset,
// "C", "POSIX", "C.*" or a locale the system does not have give the "C" locale.
std::locale UserDateLocale();
