// Fault tests of the print driver: a printer that fails at a page break and does nothing after.
#include <gtest/gtest.h>

#include <QImage>

#include "layout/print_driver.h"
#include "recording_surface.h"

namespace folivane {
namespace {

// A printer that breaks down when the job reaches page `failingPage`: that page break and every
// later drawing call do nothing, measuring still answers (the fonts stay with the program), and
// EndDrawing and CloseJob are still recorded, as a printer driver takes them after a failure.
class FailingAtPageBreakSurface : public RecordingSurface {
 public:
  int failingPage = 2;
  bool failed = false;
  int callsAfterFailure = 0;
  QImage lastLogo;
  bool logoHeldAtClose = false;

  void NextPage() override {
    if (failed) {
      ++callsAfterFailure;
    } else if (currentPage_ + 1 == failingPage) {
      failed = true;
    } else {
      ++currentPage_;
      RecordingSurface::NextPage();
    }
  }
  void CloseJob() override {
    // The driver releases the scaled logo only after the job is closed.
    logoHeldAtClose = !lastLogo.isNull() && !lastLogo.isDetached();
    RecordingSurface::CloseJob();
  }
  void UseFont(const Font& font) override {
    if (failed) ++callsAfterFailure;
    else RecordingSurface::UseFont(font);
  }
  void SetForeground(QRgb colour) override {
    if (failed) ++callsAfterFailure;
    else RecordingSurface::SetForeground(colour);
  }
  void SetBackground(QRgb colour) override {
    if (failed) ++callsAfterFailure;
    else RecordingSurface::SetBackground(colour);
  }
  void SetTransparentText() override {
    if (failed) ++callsAfterFailure;
    else RecordingSurface::SetTransparentText();
  }
  int PutText(int x, int y, const QString& text) override {
    if (!failed) return RecordingSurface::PutText(x, y, text);
    ++callsAfterFailure;
    return x;
  }
  void FillBox(int x, int y, int width, int height, QRgb colour) override {
    if (failed) ++callsAfterFailure;
    else RecordingSurface::FillBox(x, y, width, height, colour);
  }
  void PutImage(const QImage& image, int x, int y) override {
    lastLogo = image;
    if (failed) ++callsAfterFailure;
    else RecordingSurface::PutImage(image, x, y);
  }

 private:
  int currentPage_ = 1;
};

PrintRequest RequestOf(int lineCount, qint32 pageHeader) {
  PrintRequest request;
  for (int line = 1; line <= lineCount; ++line) request.source.lines.append(QStringLiteral("Debug %1").arg(line));
  request.source.ideVersion = QStringLiteral(" 6.10 LTS");
  request.sourcePath = QStringLiteral("/home/user/Greenhouse.pb");
  request.headerPlacement = pageHeader == 0 ? HeaderPlacement::FirstPage : HeaderPlacement::EveryPage;
  request.clock = [] { return LocalTime{2027, 3, 1, 14, 5, 9}; };
  return request;
}

TEST(PrintDriverFaults, PrinterFailingAtAPageBreakStillGetsTheJobClosed) {
  const struct {
    int failingPage;
    qint32 pageHeader;
  } cases[] = {{2, 1}, {2, 0}, {3, 1}, {5, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "page " << c.failingPage << " header " << c.pageHeader);
    FailingAtPageBreakSurface surface;
    surface.failingPage = c.failingPage;
    RunPrintDriver(surface, RequestOf(400, c.pageHeader));

    EXPECT_TRUE(surface.failed);
    EXPECT_GT(surface.callsAfterFailure, 0);
    // Nothing was drawn past the failure, and the job ends in order, once.
    for (const SurfaceCall& call : surface.calls) EXPECT_LT(call.page, c.failingPage);
    QStringList tail = surface.Dump().mid(surface.calls.size() - 2);
    for (QString& line : tail) line = line.section(u' ', 1);
    EXPECT_EQ(tail, (QStringList{"EndDrawing", "CloseJob"}));
    EXPECT_EQ(surface.CallsOf(SurfaceCall::Kind::CloseJob).size(), 1);
    EXPECT_TRUE(surface.logoHeldAtClose);
    // Released after the job: the surface's copy of the logo is the last one.
    EXPECT_TRUE(surface.lastLogo.isDetached());
  }
}

}  // namespace
}  // namespace folivane
