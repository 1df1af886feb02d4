#include "layout/date_stamp.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <array>

namespace folivane {
namespace {

constexpr qint64 kSecondsPerDay = 86400;

bool IsLeapYear(qint64 year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Days from 1970-01-01 to the given day of the proleptic Gregorian calendar (H. Hinnant's algorithm).
qint64 DaysFromCivil(qint64 year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const qint64 era = (year >= 0 ? year : year - 399) / 400;
  const qint64 yearOfEra = year - era * 400;
  const qint64 dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const qint64 dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

struct CivilDay {
  qint64 year = 0;
  int month = 0;
  int day = 0;
};

CivilDay CivilFromDays(qint64 days) {
  days += 719468;
  const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
  const qint64 dayOfEra = days - era * 146097;
  const qint64 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const qint64 shiftedMonth = (5 * dayOfYear + 2) / 153;
  const int day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  const int month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  return CivilDay{yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

CivilDay DateCivilDay(DateValue date) {
  if (date < 0) return CivilDay{};
  return CivilFromDays(date / kSecondsPerDay);
}

int SecondOfDay(DateValue date) { return date < 0 ? 0 : static_cast<int>(date % kSecondsPerDay); }

QString TwoDigits(qint64 value) { return QString::number(value).rightJustified(2, u'0'); }

struct DateToken {
  const char16_t* letters;
  int length;
};

// Tried in this order, so "%yyyy" wins over "%yy" and "%yyy" is a two-digit year and a literal y.
constexpr std::array<DateToken, 7> kDateTokens{{{u"yyyy", 4},
                                                {u"yy", 2},
                                                {u"mm", 2},
                                                {u"dd", 2},
                                                {u"hh", 2},
                                                {u"ii", 2},
                                                {u"ss", 2}}};

QString TokenValue(const DateToken& token, DateValue date) {
  switch (token.letters[0]) {
    case u'y':
      if (token.length == 4) return QString::number(DateYear(date)).rightJustified(4, u'0');
      return TwoDigits(DateYear(date) % 100);
    case u'm':
      return TwoDigits(DateMonth(date));
    case u'd':
      return TwoDigits(DateDay(date));
    case u'h':
      return TwoDigits(DateHour(date));
    case u'i':
      return TwoDigits(DateMinute(date));
    default:
      return TwoDigits(DateSecond(date));
  }
}

constexpr std::array<const char*, 12> kMonthNames{"January", "February", "March",     "April",   "May",      "June",
                                                  "July",    "August",   "September", "October", "November", "December"};

}  // namespace

LocalTime LocalTimeOf(const QDateTime& moment) {
  const QDate date = moment.date();
  const QTime time = moment.time();
  return LocalTime{date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second()};
}

LocalClock SystemLocalClock() {
  return [] { return LocalTimeOf(QDateTime::currentDateTime()); };
}

DateValue MakeDate(const LocalTime& reading) {
  if (reading.year < 1970) return kNoDate;
  if (reading.month < 1 || reading.month > 12) return kNoDate;
  if (reading.day < 1 || reading.day > 31) return kNoDate;
  const int month = reading.month;
  if (reading.day == 31 && (month == 4 || month == 6 || month == 9 || month == 11)) return kNoDate;
  if (month == 2 && reading.day >= 30) return kNoDate;
  if (month == 2 && reading.day == 29 && !IsLeapYear(reading.year)) return kNoDate;
  if (reading.hour < 0 || reading.hour > 23) return kNoDate;
  if (reading.minute < 0 || reading.minute > 59) return kNoDate;
  if (reading.second < 0 || reading.second > 59) return kNoDate;
  return DaysFromCivil(reading.year, month, reading.day) * kSecondsPerDay + reading.hour * 3600 +
         reading.minute * 60 + reading.second;
}

DateValue NowDate(const LocalClock& clock) { return clock ? MakeDate(clock()) : kNoDate; }

int DateYear(DateValue date) { return static_cast<int>(DateCivilDay(date).year); }
int DateMonth(DateValue date) { return DateCivilDay(date).month; }
int DateDay(DateValue date) { return DateCivilDay(date).day; }
int DateHour(DateValue date) { return SecondOfDay(date) / 3600; }
int DateMinute(DateValue date) { return SecondOfDay(date) / 60 % 60; }
int DateSecond(DateValue date) { return SecondOfDay(date) % 60; }

QString FormatDateText(const QString& mask, DateValue date) {
  QString result;
  result.reserve(mask.size() + 8);
  qsizetype position = 0;
  while (position < mask.size()) {
    const QChar character = mask.at(position);
    ++position;
    if (character != u'%') {
      result.append(character);
      continue;
    }
    bool replaced = false;
    for (const DateToken& token : kDateTokens) {
      const QStringView tail = QStringView(mask).mid(position, token.length);
      if (tail.size() == token.length &&
          tail.compare(QStringView(token.letters, token.length), Qt::CaseInsensitive) == 0) {
        result.append(TokenValue(token, date));
        position += token.length;
        replaced = true;
        break;
      }
    }
    if (!replaced) result.append(u'%');
  }
  return result;
}

QString MonthName(DateValue date) {
  const int month = DateMonth(date);
  if (month < 1 || month > 12) return QString();
  return QString::fromLatin1(kMonthNames[month - 1]);
}

QString ClockTextOf(DateValue date) {
  int hour = DateHour(date);
  const QString suffix = hour >= 12 && hour <= 23 ? QStringLiteral("PM") : QStringLiteral("AM");
  if (hour > 12) hour -= 12;
  if (hour == 0) hour = 12;
  return QString::number(hour) + FormatDateText(QStringLiteral(":%ii:%ss"), date) + u' ' + suffix;
}

QString ClockText(const LocalClock& clock) { return ClockTextOf(NowDate(clock)); }

QString FooterStampOf(DateValue date) {
  return MonthName(date) + u' ' + FormatDateText(QStringLiteral("%dd, %yyyy"), date) + QStringLiteral(" - ") +
         ClockTextOf(date);
}

QString FooterStamp(const LocalClock& clock) { return FooterStampOf(NowDate(clock)); }

}  // namespace folivane
