// The drawing operations for the bundled sample, on the real PDF surface, against a stored dump:
// any change of layout, measurement or wrapping shows up here line by line.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include "app/print_road.h"
#include "layout/recording_surface.h"
#include "support/settings_choices.h"
#include "surface/pdf_surface.h"
#include "surface/painter_surface.h"

namespace folivane {
namespace {

// Passes every call on to the real surface and writes one line per call, with what it returned.
class TracingSurface final : public DrawingSurface {
 public:
  explicit TracingSurface(DrawingSurface& target) : target_(target) {}
  QStringList trace;

  bool ShowPrintDialog() override { return Note(u"ShowPrintDialog"_qs, target_.ShowPrintDialog()); }
  int PrintableWidth() const override { return target_.PrintableWidth(); }
  int PrintableHeight() const override { return target_.PrintableHeight(); }
  int OpenJob(const QString& name) override { return Note(u"OpenJob \"%1\""_qs.arg(name), target_.OpenJob(name)); }
  bool BeginDrawing() override { return Note(u"BeginDrawing"_qs, target_.BeginDrawing()); }
  void NextPage() override {
    trace.append(u"NextPage"_qs);
    target_.NextPage();
  }
  void EndDrawing() override {
    trace.append(u"EndDrawing"_qs);
    target_.EndDrawing();
  }
  void CloseJob() override {
    trace.append(u"CloseJob"_qs);
    target_.CloseJob();
  }
  void UseFont(const Font& font) override {
    // The point size the layout asked for follows from the pixel size at the run's 96 dpi.
    trace.append(u"UseFont \"%1\" %2pt %3px%4"_qs.arg(FaceOf(font))
                     .arg(qRound(font.pixelSize * 72.0 / 96))
                     .arg(font.pixelSize)
                     .arg(font.valid ? QString() : u" (refused)"_qs));
    target_.UseFont(font);
  }
  void SetForeground(QRgb colour) override {
    trace.append(u"SetForeground %1"_qs.arg(colour & 0xFFFFFF, 6, 16, QLatin1Char('0')));
    target_.SetForeground(colour);
  }
  void SetBackground(QRgb colour) override {
    trace.append(u"SetBackground %1"_qs.arg(colour & 0xFFFFFF, 6, 16, QLatin1Char('0')));
    target_.SetBackground(colour);
  }
  void SetTransparentText() override { target_.SetTransparentText(); }
  int MeasureText(const QString& text) override { return target_.MeasureText(text); }
  int AdditiveAdvance(char16_t unit) override { return target_.AdditiveAdvance(unit); }
  int WidestAdvance() override { return target_.WidestAdvance(); }
  int PutText(int x, int y, const QString& text) override {
    const int end = target_.PutText(x, y, text);
    if (!text.isEmpty()) trace.append(u"PutText %1,%2 -> %3 \"%4\""_qs.arg(x).arg(y).arg(end).arg(text));
    return end;
  }
  void FillBox(int x, int y, int width, int height, QRgb colour) override {
    trace.append(u"FillBox %1,%2 %3x%4 %5"_qs.arg(x).arg(y).arg(width).arg(height).arg(colour & 0xFFFFFF, 6, 16,
                                                                                       QLatin1Char('0')));
    target_.FillBox(x, y, width, height, colour);
  }
  void PutImage(const QImage& image, int x, int y) override {
    trace.append(u"PutImage %1,%2 %3x%4"_qs.arg(x).arg(y).arg(image.width()).arg(image.height()));
    target_.PutImage(image, x, y);
  }

 private:
  template <typename Result>
  Result Note(const QString& call, Result result) {
    trace.append(u"%1 -> %2"_qs.arg(call).arg(static_cast<long long>(result)));
    return result;
  }
  DrawingSurface& target_;
};

QStringList TraceSample(qint32 fontSize, qint32 pageHeader, const QString& selection, bool ownWriter = false) {
  QTemporaryDir dir;
  RunState state;
  state.request.sourcePath = u"/home/user/Projects/Greenhouse.pb"_qs;
  state.request.selection = selection;
  state.settings = Choices(fontSize, pageHeader);
  // A shared read, as folivane-pdf reads: the cases of this suite run side by side.
  EXPECT_EQ(ReadSourceFile(FOLIVANE_SAMPLE, state.request.source), QString());
  QFile output(dir.filePath(u"sample.pdf"_qs));
  EXPECT_TRUE(output.open(QIODevice::WriteOnly));
  std::unique_ptr<DrawingSurface> pdf;
  if (ownWriter) {
    pdf = std::make_unique<PdfSurface>(output, QPageSize(QPageSize::A4), PdfPrintableArea(QPageSize(QPageSize::A4)));
  } else {
    pdf = PainterSurface::ForPdf(output);
  }
  TracingSurface tracing(*pdf);
  PrintSource(state, tracing, [] { return LocalTime{2026, 12, 6, 6, 0, 52}; });
  return tracing.trace;
}

struct GoldenCase {
  const char* name;
  qint32 fontSize;
  qint32 pageHeader;
  const char* selection;
};

class SampleGoldenTest : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(SampleGoldenTest, DrawingOperationsMatchTheStoredDump) {
  const GoldenCase& c = GetParam();
  const QStringList trace = TraceSample(c.fontSize, c.pageHeader, QString::fromLatin1(c.selection));
  const QString path = QStringLiteral(FOLIVANE_GOLDEN_DIR "/%1.ops").arg(QLatin1String(c.name));

  if (qEnvironmentVariableIsSet("FOLIVANE_UPDATE_GOLDEN")) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write((trace.join(u'\n') + u'\n').toUtf8());
    GTEST_SKIP() << "rewrote " << qPrintable(path);
  }
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly))
      << "missing " << qPrintable(path) << "; FOLIVANE_UPDATE_GOLDEN=1 writes it";
  const QStringList expected = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(trace.size(), expected.size());
  for (qsizetype i = 0; i < trace.size(); ++i)
    ASSERT_EQ(trace[i], expected[i]) << "first difference at operation " << i + 1;
}

// The PDF writer of our own measures as Qt's engine does, so it draws the very same operations.
TEST_P(SampleGoldenTest, OwnPdfWriterGetsTheSameOperations) {
  const GoldenCase& c = GetParam();
  const QString selection = QString::fromLatin1(c.selection);
  EXPECT_EQ(TraceSample(c.fontSize, c.pageHeader, selection, true), TraceSample(c.fontSize, c.pageHeader, selection));
}

INSTANTIATE_TEST_SUITE_P(Sample, SampleGoldenTest,
                         ::testing::Values(GoldenCase{"regular-every", 1, 1, ""}, GoldenCase{"large-first", 0, 0, ""},
                                           GoldenCase{"selection", 1, 1, "100x3x140x1"}),
                         [](const auto& info) {
                           QString name = QString::fromLatin1(info.param.name);
                           return name.replace(u'-', u'_').toStdString();
                         });

}  // namespace
}  // namespace folivane
