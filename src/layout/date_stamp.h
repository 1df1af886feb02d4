// The footer's date and time stamp: local clock readings, date values, date masks and the 12-hour clock.
#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>
#include <functional>

namespace folivane {

// One reading of the local wall clock, sub-second parts already dropped.
struct LocalTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Where readings come from; tests inject fixed readings.
using LocalClock = std::function<LocalTime()>;

LocalClock SystemLocalClock();
// The reading of a local date and time.
LocalTime LocalTimeOf(const QDateTime& moment);

// Seconds from 1970-01-01 00:00:00 to a local reading counted as if it were UTC. 64-bit so that
// readings after 2038-01-19 03:14:07 keep their true value.
using DateValue = qint64;
inline constexpr DateValue kNoDate = -1;

// kNoDate for an impossible or pre-1970 reading (month 13, 31 April, 29 February 2027, ...).
DateValue MakeDate(const LocalTime& reading);

// The date value of the clock now; kNoDate when there is no clock or its reading is refused.
DateValue NowDate(const LocalClock& clock);

// Each reads 0 for kNoDate (and for any other negative value).
int DateYear(DateValue date);
int DateMonth(DateValue date);
int DateDay(DateValue date);
int DateHour(DateValue date);
int DateMinute(DateValue date);
int DateSecond(DateValue date);

// Replaces %yyyy, %yy, %mm, %dd, %hh, %ii and %ss (any letter case) by fields of the date.
QString FormatDateText(const QString& mask, DateValue date);

// "January" .. "December"; empty for an invalid date.
QString MonthName(DateValue date);

// 12-hour clock text of a date, e.g. "6:00:52 AM".
QString ClockTextOf(DateValue date);
QString ClockText(const LocalClock& clock);

// "December 06, 2026 - 6:00:52 AM", from a single reading of the clock.
QString FooterStampOf(DateValue date);
QString FooterStamp(const LocalClock& clock);

}  // namespace folivane
