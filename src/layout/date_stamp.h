// The footer's date and time stamp, made from a reading of the local clock.
#pragma once

#include <QDateTime>
#include <QString>
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

// "December 06, 2026 - 6:00:52 AM", in English whatever the locale, from a single reading of the
// clock. A reading that is no real date and time, or lies before 1970, and a missing clock give
// " 00, 0000 - 12:00:00 AM"; readings after 2038 keep their true date.
QString FooterStamp(const LocalClock& clock);

}  // namespace folivane
