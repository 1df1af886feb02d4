#include "surface/pdf_surface.h"

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include <algorithm>

#include "surface/fonts.h"
#include "surface/logo.h"
#include "surface/logo_streams.h"
#include "surface/painter_surface.h"

namespace folivane {
namespace {

QString RunTool(const QString& program, const QStringList& arguments, int* exitCode = nullptr) {
  QProcess process;
  process.start(program, arguments);
  process.waitForFinished(60000);
  if (exitCode) *exitCode = process.exitCode();
  return QString::fromUtf8(process.readAllStandardOutput());
}

class PdfWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  // Two pages as the furniture and the rows draw them, with text that takes fallback fonts,
  // combining marks, a tab and a line far wider than the page.
  QByteArray Draw(const QString& name, int workers) {
    const QString path = dir_.filePath(name);
    QFile output(path);
    EXPECT_TRUE(output.open(QIODevice::WriteOnly));
    PdfSurface surface(output, QPageSize(QPageSize::A4), PdfPrintableArea(QPageSize(QPageSize::A4)),
                       QDateTime(QDate(2027, 3, 1), QTime(14, 5, 9)), workers);
    EXPECT_EQ(surface.OpenJob(u"PureBasic - Folivane"_qs), 1);
    const Font body = MakeFont(u"Courier New"_qs, 46, 96);
    const Font banner = MakeFont(u"Courier New Bold"_qs, 51, 96);
    const QImage logo = PrepareLogo(surface.PrintableWidth());
    EXPECT_TRUE(surface.BeginDrawing());
    for (int page = 1; page <= 2; ++page) {
      if (page > 1) surface.NextPage();
      surface.BeginRepeatedPart();
      surface.PutImage(logo, 3800, 260);
      surface.FillBox(0, 300, 4760, 120, kBlack);
      surface.UseFont(banner);
      surface.SetForeground(kWhite);
      surface.SetTransparentText();
      surface.PutText(299, 320, u"SOURCE CODE"_qs);
      surface.EndRepeatedPart();
      surface.UseFont(body);
      surface.SetForeground(kBlack);
      // Marked as repeated, yet different on each page.
      surface.BeginRepeatedPart();
      surface.PutText(529, 500, u"Sheet %1"_qs.arg(page));
      surface.EndRepeatedPart();
      surface.PutText(529, 600, u"Procedure Main()\t; caf\u00e9 e\u0301 \u4e2d\u6587 \u2603 \U0001F600"_qs);
      surface.PutText(529, 700, QString(5000, u'x'));
    }
    surface.EndDrawing();
    surface.CloseJob();
    EXPECT_TRUE(surface.Written());
    output.close();
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
  }

  QTemporaryDir dir_;
};

TEST_F(PdfWriterTest, FilePassesQpdfCheckAndShowsItsText) {
  Draw(u"a.pdf"_qs, 2);
  const QString pdf = dir_.filePath(u"a.pdf"_qs);
  if (QStandardPaths::findExecutable(u"qpdf"_qs).isEmpty()) GTEST_SKIP() << "qpdf missing";
  int status = -1;
  const QString check = RunTool(u"qpdf"_qs, {u"--check"_qs, pdf}, &status);
  EXPECT_EQ(status, 0) << qPrintable(check);
  EXPECT_TRUE(check.contains(u"No syntax or stream encoding errors"_qs)) << qPrintable(check);

  const QString text = RunTool(u"pdftotext"_qs, {pdf, u"-"_qs});
  EXPECT_EQ(text.count(u"SOURCE CODE"_qs), 2);
  EXPECT_EQ(text.count(u"Sheet 1"_qs), 1);
  EXPECT_EQ(text.count(u"Sheet 2"_qs), 1);
  EXPECT_EQ(text.count(u"Procedure Main() ; caf\u00e9"_qs), 2) << qPrintable(text);
  const QString info = RunTool(u"pdfinfo"_qs, {pdf});
  EXPECT_TRUE(info.contains(QRegularExpression(u"Title: +PureBasic - Folivane"_qs)));
  EXPECT_TRUE(info.contains(QRegularExpression(u"Pages: +2\n"_qs)));
}

TEST_F(PdfWriterTest, SameDrawingGivesTheSameBytesWithAnyNumberOfWorkers) {
  const QByteArray inline_ = Draw(u"a.pdf"_qs, 0);
  EXPECT_EQ(Draw(u"b.pdf"_qs, 3), inline_);
  // The logo is stored once and drawn on both pages; so is the part that repeats, and only that.
  EXPECT_EQ(inline_.count("/Subtype /Image"), 1);
  EXPECT_EQ(inline_.count("/Subtype /Form"), 1);
}

TEST_F(PdfWriterTest, NothingIsDrawnWhereTheOutputTakesNothing) {
  QFile unopened(dir_.filePath(u"a.pdf"_qs));
  PdfSurface surface(unopened, QPageSize(QPageSize::A4), PdfPrintableArea(QPageSize(QPageSize::A4)));
  EXPECT_EQ(surface.OpenJob(u"x"_qs), 0);
  EXPECT_FALSE(surface.BeginDrawing());
  surface.CloseJob();
  EXPECT_FALSE(surface.Written());
}

// Qt measures a text a few pixels off in the call that first loads a fallback font it needs;
// a row must end where it was measured all the same.
TEST(PdfSurfaceMeasure, TextEndsWhereItWasMeasuredWhenItsFallbackFontsAreNew) {
  QBuffer output;
  output.open(QIODevice::WriteOnly);
  PdfSurface surface(output, QPageSize(QPageSize::A4), PdfPrintableArea(QPageSize(QPageSize::A4)), {}, 0);
  ASSERT_EQ(surface.OpenJob(u"PureBasic - Folivane"_qs), 1);
  ASSERT_TRUE(surface.BeginDrawing());
  const char16_t units[] = {0x6500, 0x4ddc, 0x0000, 0x6961, 0x6e10, 0xd800, 0xd8d8, 0x004d, 0x0000, 0x0063, 0x0061,
                            0x0066, 0x00e9, 0x032a, 0x1d25, 0x530e, 0x4f00, 0x0075, 0x0072, 0x6365, 0x2000, 0x7800,
                            0x0000, 0x0020, 0x0063, 0x0061, 0x0066, 0x00e9, 0x032a, 0xff25, 0xffff, 0xffff};
  const QString text(reinterpret_cast<const QChar*>(units), std::size(units));
  const int measured = surface.MeasureText(text);
  EXPECT_EQ(surface.PutText(100, 100, text), 100 + measured);
  EXPECT_EQ(surface.MeasureText(text), measured);
}

// The logo's streams deflated at build time are the logo as a run on A4 or Letter prepares it,
// and the run knows them again.
TEST(LogoStreams, AreTheLogoOfTheUsualPapersAsARunPreparesIt) {
  ASSERT_EQ(kLogoStreams.size(), 2u);
  for (const QPageSize::PageSizeId paper : {QPageSize::A4, QPageSize::Letter}) {
    const QImage rgb = PrepareLogo(PdfPrintableArea(QPageSize(paper)).width()).convertToFormat(QImage::Format_RGB888);
    const auto known = std::find_if(kLogoStreams.begin(), kLogoStreams.end(), [&](const KnownImageStream& stream) {
      return stream.width == rgb.width() && stream.height == rgb.height() && stream.digest == SamplesDigest(rgb);
    });
    ASSERT_NE(known, kLogoStreams.end()) << paper;
    const std::string samples = PaethFilteredRows(rgb);
    // qUncompress wants the inflated size in front, big-endian.
    QByteArray framed(4, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(samples.size()), framed.data());
    framed.append(known->deflated.data(), static_cast<qsizetype>(known->deflated.size()));
    EXPECT_EQ(qUncompress(framed).toStdString(), samples) << paper;
  }
}

}  // namespace
}  // namespace folivane
