#include <QThread>
#include <gtest/gtest.h>

#include <tuple>

#include "layout/date_stamp.h"

namespace folivane {
namespace {

LocalClock FixedClock(LocalTime reading) {
  return [reading] { return reading; };
}

TEST(FooterStampTest, ReadingsGiveTheirStamps) {
  const struct {
    LocalTime reading;
    const char* stamp;
  } cases[] = {
      {{2026, 12, 6, 6, 0, 52}, "December 06, 2026 - 6:00:52 AM"},
      {{2027, 3, 1, 14, 5, 9}, "March 01, 2027 - 2:05:09 PM"},
      {{2027, 1, 31, 0, 0, 0}, "January 31, 2027 - 12:00:00 AM"},
      {{2030, 7, 15, 12, 30, 0}, "July 15, 2030 - 12:30:00 PM"},
      {{2026, 5, 5, 12, 0, 0}, "May 05, 2026 - 12:00:00 PM"},
      {{2026, 5, 5, 23, 59, 59}, "May 05, 2026 - 11:59:59 PM"},
      {{2026, 5, 5, 9, 3, 4}, "May 05, 2026 - 9:03:04 AM"},
      {{2026, 5, 5, 11, 59, 59}, "May 05, 2026 - 11:59:59 AM"},
      {{2026, 5, 5, 13, 0, 0}, "May 05, 2026 - 1:00:00 PM"},
      {{1970, 1, 1, 0, 0, 0}, "January 01, 1970 - 12:00:00 AM"},
      {{2028, 2, 29, 8, 0, 0}, "February 29, 2028 - 8:00:00 AM"},
      {{2000, 2, 29, 8, 0, 0}, "February 29, 2000 - 8:00:00 AM"},
      {{2038, 1, 19, 3, 14, 7}, "January 19, 2038 - 3:14:07 AM"},
      {{2038, 1, 19, 3, 14, 8}, "January 19, 2038 - 3:14:08 AM"},
      {{2040, 10, 2, 17, 45, 30}, "October 02, 2040 - 5:45:30 PM"},
      {{2106, 2, 7, 6, 28, 16}, "February 07, 2106 - 6:28:16 AM"},
      {{2027, 2, 29, 8, 0, 0}, " 00, 0000 - 12:00:00 AM"},
      {{2100, 2, 29, 8, 0, 0}, " 00, 0000 - 12:00:00 AM"},
      {{1969, 12, 31, 23, 59, 59}, " 00, 0000 - 12:00:00 AM"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stamp);
    EXPECT_EQ(FooterStamp(FixedClock(c.reading)), QString::fromLatin1(c.stamp));
  }
}

TEST(FooterStampTest, ImpossibleReadingsAndNoClockGiveTheNoDateStamp) {
  const LocalTime refused[] = {
      {1969, 12, 31, 23, 59, 59}, {2026, 0, 1, 0, 0, 0},  {2026, 13, 1, 0, 0, 0}, {2026, 1, 0, 0, 0, 0},
      {2026, 1, 32, 0, 0, 0},     {2026, 4, 31, 0, 0, 0}, {2026, 6, 31, 0, 0, 0}, {2026, 9, 31, 0, 0, 0},
      {2026, 11, 31, 0, 0, 0},    {2028, 2, 30, 0, 0, 0}, {2028, 2, 31, 0, 0, 0}, {2027, 2, 29, 0, 0, 0},
      {1900, 2, 29, 0, 0, 0},     {2026, 1, 1, 24, 0, 0}, {2026, 1, 1, -1, 0, 0}, {2026, 1, 1, 0, 60, 0},
      {2026, 1, 1, 0, 0, 60},     {2026, 1, 1, 0, 0, -1}, {-2026, 1, 1, 0, 0, 0},
  };
  const QString noDate = QStringLiteral(" 00, 0000 - 12:00:00 AM");
  for (const LocalTime& reading : refused) {
    SCOPED_TRACE(testing::Message() << reading.year << "-" << reading.month << "-" << reading.day << " " << reading.hour
                                    << ":" << reading.minute << ":" << reading.second);
    EXPECT_EQ(FooterStamp(FixedClock(reading)), noDate);
  }
  EXPECT_EQ(FooterStamp(LocalClock()), noDate);
}

TEST(FooterStampTest, SystemClockGivesADatedStamp) {
  const QString stamp = FooterStamp(SystemLocalClock());
  EXPECT_FALSE(stamp.startsWith(u' ')) << stamp.toStdString();
  EXPECT_TRUE(stamp.endsWith(QStringLiteral(" AM")) || stamp.endsWith(QStringLiteral(" PM"))) << stamp.toStdString();
}

TEST(FooterStampTest, TheSystemClockKeepsTicking) {
  // One clock is read for every page of a job, and each page shows the time it was drawn.
  const LocalClock clock = SystemLocalClock();
  const qint64 start = QDateTime::currentSecsSinceEpoch();
  const LocalTime first = clock();
  while (QDateTime::currentSecsSinceEpoch() < start + 2) QThread::msleep(20);
  const LocalTime later = clock();
  EXPECT_NE(std::tie(first.day, first.hour, first.minute, first.second),
            std::tie(later.day, later.hour, later.minute, later.second));
}

}  // namespace
}  // namespace folivane
