#include "cabinet/CabDate.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <sstream>

namespace {

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
long long DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153LL * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

const long long kAutomationEpoch = DaysFromCivil(1899, 12, 30);

bool IsCLocale(const std::string& name) {
    return name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0;
}

std::string Put(const std::tm& tm, const std::locale& locale, const char* format) {
    std::ostringstream out;
    out.imbue(locale);
    const auto& facet = std::use_facet<std::time_put<char>>(locale);
    std::string f(format);
    facet.put(std::ostreambuf_iterator<char>(out), out, ' ', &tm, f.data(), f.data() + f.size());
    return out.str();
}

}  // namespace

CabCalendar DosToCalendar(std::uint16_t dosDate, std::uint16_t dosTime) {
    CabCalendar c;
    c.day = dosDate & 0x1F;
    c.month = (dosDate >> 5) & 0x0F;
    c.year = 1980 + (dosDate >> 9);
    c.second = (dosTime & 0x1F) * 2;
    c.minute = (dosTime >> 5) & 0x3F;
    c.hour = dosTime >> 11;
    const bool valid = c.month >= 1 && c.month <= 12 && c.day >= 1 &&
                       c.day <= DaysInMonth(c.year, c.month) && c.hour <= 23 && c.minute <= 59 &&
                       c.second <= 59;
    return valid ? c : CabCalendar{};
}

CabDateTime CalendarToDate(const CabCalendar& c) {
    const double days = static_cast<double>(DaysFromCivil(c.year, c.month, c.day) - kAutomationEpoch);
    const double fraction = (c.hour * 3600 + c.minute * 60 + c.second) / 86400.0;
    // Before the epoch the automation date counts whole days down and the time still up.
    return {days >= 0 ? days + fraction : days - fraction};
}

CabCalendar DateToCalendar(CabDateTime date) {
    const double whole = std::trunc(date.value);
    long long seconds = std::llround(std::fabs(date.value - whole) * 86400.0);
    long long days = static_cast<long long>(whole);
    if (seconds >= 86400) {
        seconds -= 86400;
        days += date.value >= 0 ? 1 : -1;
    }
    CabCalendar c;
    CivilFromDays(days + kAutomationEpoch, c.year, c.month, c.day);
    c.hour = static_cast<int>(seconds / 3600);
    c.minute = static_cast<int>(seconds / 60 % 60);
    c.second = static_cast<int>(seconds % 60);
    return c;
}

std::string DateText(const CabCalendar& c, const std::locale& locale) {
    const bool midnight = c.hour == 0 && c.minute == 0 && c.second == 0;
    if (IsCLocale(locale.name())) {
        std::string text = std::to_string(c.day) + "." + std::to_string(c.month) + "." +
                           std::to_string(c.year) + ".";
        if (midnight) return text;
        const auto two = [](int v) { return (v < 10 ? "0" : "") + std::to_string(v); };
        return text + " " + std::to_string(c.hour) + ":" + two(c.minute) + ":" + two(c.second);
    }
    std::tm tm{};
    tm.tm_year = c.year - 1900;
    tm.tm_mon = c.month - 1;
    tm.tm_mday = c.day;
    tm.tm_hour = c.hour;
    tm.tm_min = c.minute;
    tm.tm_sec = c.second;
    tm.tm_wday = static_cast<int>(((DaysFromCivil(c.year, c.month, c.day) % 7) + 11) % 7);
    const std::string date = Put(tm, locale, "%x");
    return midnight ? date : date + " " + Put(tm, locale, "%X");
}

std::locale UserDateLocale() {
    std::string name;
    for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            name = value;
            break;
        }
    }
    if (IsCLocale(name)) return std::locale::classic();
    try {
        return std::locale(name);
    } catch (const std::runtime_error&) {
        // The system lacks that locale: the documented Croatian formats stand in for it.
        return std::locale::classic();
    }
}
