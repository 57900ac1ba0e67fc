// Calendar arithmetic for OLE automation dates: whole days since 30 December
// 1899 on the proleptic Gregorian calendar; the fraction is the time of day,
// counted forwards from midnight even for dates before 1899 (-1.25 is
// 29 December 1899, 06:00).
#include <cmath>
#include <cstdint>

#include "runtime/commands/value_commands.h"

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// 30 December 1899 counted from 1 January 1970.
constexpr std::int64_t kOleEpochFromUnixDays = -25569;

// Days from 1 January 1970 to a civil date (after H. Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

}  // namespace

double DateTimeClamp(double days) {
  // A value that compares with nothing (NaN) is taken as the lowest date.
  if (!(days >= kDateTimeMin)) return kDateTimeMin;
  if (days > kDateTimeMax) return kDateTimeMax;
  return days;
}

DateTimeParts DateTimeSplit(DateTime value) {
  const double days = DateTimeClamp(value.days);
  const double wholeDays = std::trunc(days);
  // Round to the nearest second: a stored time such as 14:03:05 is not exact
  // in binary and must not come back as 14:03:04.
  std::int64_t seconds = std::llround(std::fabs(days - wholeDays) * kSecondsPerDay);
  std::int64_t dayNumber = static_cast<std::int64_t>(wholeDays);
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    ++dayNumber;  // the next calendar day, whichever side of 1899 we are on
  }
  DateTimeParts parts{};
  CivilFromDays(dayNumber + kOleEpochFromUnixDays, parts.year, parts.month, parts.day);
  parts.hour = static_cast<int>(seconds / 3600);
  parts.minute = static_cast<int>(seconds / 60 % 60);
  parts.second = static_cast<int>(seconds % 60);
  return parts;
}

DateTime DateTimeFromParts(const DateTimeParts& parts) {
  // Months outside 1..12 carry into the year; days and times carry linearly.
  std::int64_t monthIndex = static_cast<std::int64_t>(parts.year) * 12 + (parts.month - 1);
  const std::int64_t year = (monthIndex >= 0 ? monthIndex : monthIndex - 11) / 12;
  const std::int64_t month = monthIndex - year * 12 + 1;
  std::int64_t dayNumber = DaysFromCivil(year, month, 1) + (parts.day - 1) - kOleEpochFromUnixDays;
  std::int64_t seconds = static_cast<std::int64_t>(parts.hour) * 3600 + parts.minute * 60 + parts.second;
  const std::int64_t carry = (seconds >= 0 ? seconds : seconds - (kSecondsPerDay - 1)) / kSecondsPerDay;
  dayNumber += carry;
  seconds -= carry * kSecondsPerDay;
  const double fraction = static_cast<double>(seconds) / kSecondsPerDay;
  const double days = dayNumber >= 0 ? dayNumber + fraction : dayNumber - fraction;
  return DateTime{DateTimeClamp(days)};
}
