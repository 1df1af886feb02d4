#include <gtest/gtest.h>

#include <QMap>

#include "layout/geometry.h"
#include "layout/print_driver.h"
#include "recording_surface.h"

namespace folivane {
namespace {

// A body row as drawn: its page, its layout y and what the number column and text column show.
struct DrawnRow {
  int page = 0;
  int y = 0;
  QString number;
  QString text;
};

QStringList NumberedLines(int count) {
  QStringList lines;
  for (int line = 1; line <= count; ++line) lines.append(QStringLiteral("line %1").arg(line));
  return lines;
}

// The case tables give the choices as the settings file does: 0 for Large and for the first page only.
FontSize FontSizeOf(qint32 setting) { return setting == 0 ? FontSize::Large : FontSize::Regular; }

PrintRequest RequestFor(const QStringList& lines, qint32 fontSize = 1, qint32 pageHeader = 1) {
  PrintRequest request;
  request.source.lines = lines;
  request.source.ideVersion = QStringLiteral(" 6.10 LTS");
  request.sourcePath = QStringLiteral("C:\\work\\Greenhouse.pb");
  request.fontSize = FontSizeOf(fontSize);
  request.headerPlacement = pageHeader == 0 ? HeaderPlacement::FirstPage : HeaderPlacement::EveryPage;
  request.clock = [] { return LocalTime{2027, 3, 1, 14, 5, 9}; };
  return request;
}

// Pairs each number placement with the text placement that follows it (both in the body font).
QList<DrawnRow> BodyRows(const RecordingSurface& surface, const SizeProfile& profile) {
  const int verticalFactor = surface.printableHeight / 260;
  const int textX = profile.textColumn * (surface.printableWidth / 204);
  QList<DrawnRow> rows;
  QString pendingNumber;
  for (const SurfaceCall& call : surface.TextsIn(QStringLiteral("Courier New"))) {
    if (call.x < textX) {
      pendingNumber = call.text;
      continue;
    }
    EXPECT_EQ(call.y % verticalFactor, 0);
    rows.append(DrawnRow{call.page, call.y / verticalFactor, pendingNumber, call.text});
    pendingNumber.clear();
  }
  return rows;
}

int PageCount(const RecordingSurface& surface) {
  return static_cast<int>(surface.CallsOf(SurfaceCall::Kind::NextPage).size()) + 1;
}

TEST(PrintDriverTest, RowsPerPageFollowTheProfile) {
  const struct {
    int lines;
    qint32 fontSize;
    int pages;
    int lastPageRows;
    int lastRowY;
  } cases[] = {
      {70, 1, 1, 70, 245}, {71, 1, 2, 1, 38}, {52, 0, 1, 52, 242}, {53, 0, 2, 1, 38}, {1, 1, 1, 1, 38},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lines << " lines, font size " << c.fontSize);
    RecordingSurface surface;
    RunPrintDriver(surface, RequestFor(NumberedLines(c.lines), c.fontSize));
    const QList<DrawnRow> rows = BodyRows(surface, SelectProfile(FontSizeOf(c.fontSize)));
    ASSERT_EQ(rows.size(), c.lines);
    EXPECT_EQ(PageCount(surface), c.pages);
    int onLastPage = 0;
    for (const DrawnRow& row : rows) onLastPage += row.page == c.pages ? 1 : 0;
    EXPECT_EQ(onLastPage, c.lastPageRows);
    EXPECT_EQ(rows.last().y, c.lastRowY);
    // Every page has the full header with page-header setting 1.
    EXPECT_EQ(surface.CallsOf(SurfaceCall::Kind::PutImage).size(), c.pages);
  }
}

TEST(PrintDriverTest, BannerOnlyPagesMoveTheListingUp) {
  RecordingSurface surface;
  RunPrintDriver(surface, RequestFor(NumberedLines(150), 1, 0));
  const QList<DrawnRow> rows = BodyRows(surface, kRegularProfile);
  ASSERT_EQ(rows.size(), 150);
  ASSERT_EQ(PageCount(surface), 3);
  for (int index = 0; index < 150; ++index) {
    const int line = index + 1;
    SCOPED_TRACE(line);
    const int expectedPage = line <= 70 ? 1 : line <= 147 ? 2 : 3;
    const int expectedY = line <= 70 ? 38 + 3 * (line - 1) : line <= 147 ? 15 + 3 * (line - 71) : 15 + 3 * (line - 148);
    EXPECT_EQ(rows[index].page, expectedPage);
    EXPECT_EQ(rows[index].y, expectedY);
    EXPECT_EQ(rows[index].number, QString::number(line));
  }
  EXPECT_EQ(rows[146].y, 243);
  // Only the first page has the header; later banners sit at y 10.
  EXPECT_EQ(surface.CallsOf(SurfaceCall::Kind::PutImage).size(), 1);
  const QList<SurfaceCall> banners = surface.TextsIn(QStringLiteral("Courier New Bold"));
  ASSERT_EQ(banners.size(), 3);
  EXPECT_EQ(banners[0].y, 33 * 26);
  EXPECT_EQ(banners[1].y, 10 * 26);
  EXPECT_EQ(banners[2].y, 10 * 26);
}

TEST(PrintDriverTest, ContinuationRowsShowNoNumberAlsoAtTheTopOfAPage) {
  QStringList lines = NumberedLines(72);
  lines[69] = QString(200, u'w');  // line 70 wraps; its first row is the last of page 1
  RecordingSurface surface;
  surface.unitWidth = 100;
  RunPrintDriver(surface, RequestFor(lines));
  const QList<DrawnRow> rows = BodyRows(surface, kRegularProfile);
  ASSERT_GT(rows.size(), 72);
  EXPECT_EQ(rows[69].page, 1);
  EXPECT_EQ(rows[69].number, QStringLiteral("70"));
  EXPECT_EQ(rows[70].page, 2);
  EXPECT_EQ(rows[70].y, 38);
  EXPECT_EQ(rows[70].number, QString());
  QString joined;
  for (qsizetype index = 69; index < rows.size() - 2; ++index) {
    if (index > 69) {
      EXPECT_EQ(rows[index].number, QString());
    }
    joined += rows[index].text;
  }
  EXPECT_EQ(joined, lines[69]);
  EXPECT_EQ(rows[rows.size() - 2].number, QStringLiteral("71"));
}

TEST(PrintDriverTest, RowsHoldTheSameCharactersAt600And1200Dpi) {
  const QStringList lines{QString(500, u'w')};
  for (const int dpiMultiple : {1, 2}) {
    SCOPED_TRACE(dpiMultiple);
    RecordingSurface surface;
    surface.printableWidth = 4760 * dpiMultiple;  // factor 23, then 46
    surface.printableHeight = 6779 * dpiMultiple;
    surface.unitWidth = 10 * dpiMultiple;  // the body font grows with the factor
    RunPrintDriver(surface, RequestFor(lines));
    const QList<DrawnRow> rows = BodyRows(surface, kRegularProfile);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].text.size(), 420);
    EXPECT_EQ(rows[1].text.size(), 80);
  }
}

TEST(PrintDriverTest, NumbersOfAnyLengthEndAtTheNumberColumn) {
  for (const qint32 fontSize : {1, 0}) {
    const SizeProfile profile = SelectProfile(FontSizeOf(fontSize));
    RecordingSurface surface;
    PrintRequest request = RequestFor(NumberedLines(1000), fontSize);
    request.selection = QStringLiteral("999x1x1000x3");
    RunPrintDriver(surface, request);
    QList<SurfaceCall> numbers;
    for (const SurfaceCall& call : surface.TextsIn(QStringLiteral("Courier New")))
      if (!call.text.isEmpty() && call.x < profile.textColumn * 23) numbers.append(call);
    ASSERT_EQ(numbers.size(), 2);
    EXPECT_EQ(numbers[0].text, QStringLiteral("999"));
    EXPECT_EQ(numbers[1].text, QStringLiteral("1000"));
    for (const SurfaceCall& number : numbers)
      EXPECT_EQ(number.x + number.text.size() * surface.unitWidth, profile.numberColumn * 23);
  }
}

TEST(PrintDriverTest, JobRunsInOrderWithFontsAtTheirSizes) {
  RecordingSurface surface;
  RunPrintDriver(surface, RequestFor(NumberedLines(2), 0));
  const QStringList dump = surface.Dump();
  ASSERT_GE(dump.size(), 6);
  EXPECT_EQ(dump[0], QStringLiteral("p1 ShowPrintDialog"));
  EXPECT_EQ(dump[1], QStringLiteral("p1 OpenJob \"PureBasic - Folivane\""));
  EXPECT_EQ(dump[2], QStringLiteral("p1 BeginDrawing"));
  EXPECT_EQ(dump[dump.size() - 2], QStringLiteral("p1 EndDrawing"));
  EXPECT_EQ(dump.last(), QStringLiteral("p1 CloseJob"));

  // After the furniture: body font, black on white, then the rows.
  const qsizetype bodyFont = dump.indexOf(QStringLiteral("p1 UseFont \"Courier New\""));
  ASSERT_GT(bodyFont, 0);
  EXPECT_EQ(dump[bodyFont + 1], QStringLiteral("p1 SetForeground 000000"));
  EXPECT_EQ(dump[bodyFont + 2], QStringLiteral("p1 SetBackground ffffff"));
  EXPECT_TRUE(dump.indexOf(QStringLiteral("p1 PutText 4416,6552 \"Page 1\" font=\"Arial\" colour=000000 transparent")) <
              bodyFont);

  // Point sizes 62, 51 and 46 at 96 dpi.
  QMap<QString, int> pixelSizes;
  for (const SurfaceCall& call : surface.CallsOf(SurfaceCall::Kind::UseFont)) pixelSizes[call.text] = call.pixelSize;
  EXPECT_EQ(pixelSizes.value(QStringLiteral("Courier New")), 83);
  EXPECT_EQ(pixelSizes.value(QStringLiteral("Courier New Bold")), 68);
  EXPECT_EQ(pixelSizes.value(QStringLiteral("Arial")), 61);
  EXPECT_EQ(surface.CallsOf(SurfaceCall::Kind::PutImage).at(0).width, 496);
}

TEST(PrintDriverTest, EarlyExitsLeaveNoJobOrCloseTheOpenedOne) {
  enum class Fault { Cancel, NarrowArea, LowArea, JobRefused, DrawingRefused };
  const struct {
    Fault fault;
    QStringList calls;
  } cases[] = {
      {Fault::Cancel, {"p1 ShowPrintDialog"}},
      {Fault::NarrowArea, {"p1 ShowPrintDialog"}},
      {Fault::LowArea, {"p1 ShowPrintDialog"}},
      {Fault::JobRefused, {"p1 ShowPrintDialog", "p1 OpenJob \"PureBasic - Folivane\""}},
      {Fault::DrawingRefused,
       {"p1 ShowPrintDialog", "p1 OpenJob \"PureBasic - Folivane\"", "p1 BeginDrawing", "p1 CloseJob"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.fault));
    RecordingSurface surface;
    surface.dialogResult = c.fault != Fault::Cancel;
    if (c.fault == Fault::NarrowArea) surface.printableWidth = 203;
    if (c.fault == Fault::LowArea) surface.printableHeight = 259;
    if (c.fault == Fault::JobRefused) surface.jobId = 0;
    surface.beginDrawingResult = c.fault != Fault::DrawingRefused;
    RunPrintDriver(surface, RequestFor(NumberedLines(10)));
    EXPECT_EQ(surface.Dump(), c.calls);
  }
}

TEST(PrintDriverTest, SmallestUsableAreaStillPrints) {
  RecordingSurface surface;
  surface.printableWidth = 204;
  surface.printableHeight = 260;
  surface.unitWidth = 1;
  RunPrintDriver(surface, RequestFor(NumberedLines(3)));
  EXPECT_EQ(BodyRows(surface, kRegularProfile).size(), 3);
  EXPECT_EQ(surface.Dump().last(), QStringLiteral("p1 CloseJob"));
}

}  // namespace
}  // namespace folivane
