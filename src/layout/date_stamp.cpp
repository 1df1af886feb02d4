#include "layout/date_stamp.h"

#include <QDate>
#include <QLocale>
#include <QTime>
#include <optional>

namespace folivane {

LocalTime LocalTimeOf(const QDateTime& moment) {
  const QDate date = moment.date();
  const QTime time = moment.time();
  return LocalTime{date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second()};
}

LocalClock SystemLocalClock() {
  // Every page reads the clock, thousands a second on a long job, and a local reading costs a
  // time zone look-up: a reading is made once for each second of the epoch.
  return [second = std::optional<qint64>(), reading = LocalTime()]() mutable {
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (second != now) {
      reading = LocalTimeOf(QDateTime::fromSecsSinceEpoch(now));
      second = now;
    }
    return reading;
  };
}

QString FooterStamp(const LocalClock& clock) {
  // The stamp of a date that cannot be told: every field reads as 0.
  const QString noDate = QStringLiteral(" 00, 0000 - 12:00:00 AM");
  if (!clock) return noDate;
  const LocalTime reading = clock();
  const QDate date(reading.year, reading.month, reading.day);
  const QTime time(reading.hour, reading.minute, reading.second);
  if (!date.isValid() || !time.isValid() || reading.year < 1970) return noDate;
  // The reading is shown as it stands: as UTC no time zone or daylight-saving gap can shift it.
  return QLocale::c().toString(QDateTime(date, time, Qt::UTC), u"MMMM dd, yyyy - h:mm:ss AP");
}

}  // namespace folivane
