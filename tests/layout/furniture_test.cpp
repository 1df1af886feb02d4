#include <gtest/gtest.h>

#include "layout/furniture.h"
#include "layout/place_text.h"
#include "surface/fonts.h"
#include "recording_surface.h"

namespace folivane {
namespace {

Font FontNamed(const char* face) { return MakeFont(QString::fromLatin1(face), 46, 96); }

JobContext WorkedExampleJob() {
  JobContext job;
  job.scale = ComputeLayoutScale(4760, 6779);  // 23 x 26
  job.fonts = JobFonts{FontNamed("Courier New"), FontNamed("Courier New Bold"), FontNamed("Arial"),
                       FontNamed("Arial Bold"), FontNamed("Arial Bold")};
  job.logo = QImage(496, 347, QImage::Format_RGB32);
  job.ideVersion = QStringLiteral(" 6.10 LTS (Linux - x64)");
  job.sourcePath = QStringLiteral("/home/ann/projects/Greenhouse.pb");
  job.clock = [] { return LocalTime{2026, 12, 6, 6, 0, 52}; };
  return job;
}

TEST(FurnitureTest, FullHeaderFollowsTheDrawingOrderAtTheWorkedExamplePositions) {
  RecordingSurface surface;
  surface.unitWidth = 10;
  DrawFurniture(surface, WorkedExampleJob(), 1, 1);

  const QStringList expected = {
      "p1 SetForeground 000000",
      "p1 SetBackground ffffff",
      "p1 PutImage 3795,260 496x347",
      "p1 UseFont \"Arial Bold\"",
      "p1 SetTransparentText",
      "p1 PutText 276,312 \" 6.10 LTS (Linux - x64)\" font=\"Arial Bold\" colour=000000 transparent",
      "p1 UseFont \"Arial Bold\"",
      "p1 SetTransparentText",
      "p1 PutText 276,468 \"Greenhouse.pb\" font=\"Arial Bold\" colour=000000 transparent",
      "p1 FillBox 276,6500 4140x5 000000",
      "p1 UseFont \"Arial\"",
      "p1 SetTransparentText",
      "p1 PutText 276,6552 \"December 06, 2026 - 6:00:52 AM\" font=\"Arial\" colour=000000 transparent",
      "p1 SetTransparentText",
      "p1 PutText 4356,6552 \"Page 1\" font=\"Arial\" colour=000000 transparent",  // 4416 - 6 x 10
      "p1 FillBox 276,858 4140x104 000000",
      "p1 UseFont \"Courier New Bold\"",
      "p1 SetForeground ffffff",
      "p1 SetBackground 000000",
      "p1 SetTransparentText",
      "p1 PutText 299,858 \"SOURCE CODE\" font=\"Courier New Bold\" colour=ffffff transparent",
  };
  EXPECT_EQ(surface.Dump(), expected);
}

TEST(FurnitureTest, WithoutHeaderOnlyBannerAndFooterAreDrawnAndTheBannerMovesUp) {
  RecordingSurface surface;
  DrawFurniture(surface, WorkedExampleJob(), 12, 0);

  EXPECT_TRUE(surface.CallsOf(SurfaceCall::Kind::PutImage).isEmpty());
  const QList<SurfaceCall> boxes = surface.CallsOf(SurfaceCall::Kind::FillBox);
  ASSERT_EQ(boxes.size(), 2);
  EXPECT_EQ(boxes[1].x, 276);
  EXPECT_EQ(boxes[1].y, 260);
  const QList<SurfaceCall> texts = surface.CallsOf(SurfaceCall::Kind::PutText);
  ASSERT_EQ(texts.size(), 3);
  EXPECT_EQ(texts[1].text, QStringLiteral("Page 12"));
  EXPECT_EQ(texts[1].x + texts[1].text.size() * surface.unitWidth, 4416);
  EXPECT_EQ(texts[2].text, QStringLiteral("SOURCE CODE"));
  EXPECT_EQ(texts[2].x, 299);
  EXPECT_EQ(texts[2].y, 260);
}

TEST(FurnitureTest, PageNumbersOfAnyLengthEndAtTheSameEdge) {
  for (const qint32 page : {1, 9, 10, 999, 12345}) {
    RecordingSurface surface;
    surface.unitWidth = 17;
    DrawFurniture(surface, WorkedExampleJob(), page, 0);
    const SurfaceCall pageText = surface.CallsOf(SurfaceCall::Kind::PutText).at(1);
    EXPECT_EQ(pageText.text, QStringLiteral("Page ") + QString::number(page));
    EXPECT_EQ(pageText.x + pageText.text.size() * 17, 192 * 23) << page;
  }
}

TEST(FurnitureTest, EmptyVersionAndInvalidClockStillDrawTheRest) {
  JobContext job = WorkedExampleJob();
  job.ideVersion.clear();
  job.clock = [] { return LocalTime{2027, 2, 29, 8, 0, 0}; };
  RecordingSurface surface;
  DrawFurniture(surface, job, 1, 1);
  const QList<SurfaceCall> texts = surface.CallsOf(SurfaceCall::Kind::PutText);
  ASSERT_EQ(texts.size(), 5);
  EXPECT_EQ(texts[0].text, QString());
  EXPECT_EQ(texts[1].text, QStringLiteral("Greenhouse.pb"));
  EXPECT_EQ(texts[2].text, QStringLiteral(" 00, 0000 - 12:00:00 AM"));
}

TEST(PlaceTextTest, LeftTextStartsAndEmptyRightTextEndsAtX) {
  const LayoutScale scale = ComputeLayoutScale(4760, 6779);
  for (const auto& [alignment, text] :
       {std::pair{Align::Left, QStringLiteral("abc")}, std::pair{Align::Right, QString()}}) {
    RecordingSurface surface;
    PlaceText(surface, scale, 192, 252, text, alignment);
    EXPECT_EQ(surface.CallsOf(SurfaceCall::Kind::PutText).at(0).x, 4416);
  }
}

}  // namespace
}  // namespace folivane
