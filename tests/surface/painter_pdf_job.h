// The PDF target of the painter surface as its tests drive it: a job on a file, read back with poppler.
#pragma once

#include "surface/painter_surface.h"

#include <QFontDatabase>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QFile>
#include <gtest/gtest.h>

#include <climits>
#include <iterator>
#include <vector>

#include "surface/fonts.h"
#include "surface/logo.h"

namespace folivane::painter_test {

inline const QString kJobName = QStringLiteral("PureBasic - Folivane");

// Renders a rectangle of one PDF page (in printable-area pixels) at 600 dpi in 8-bit grey.
inline QImage Rasterise(const QString& pdf, int page, const QRect& area) {
  const QRect onPage = area.translated(PdfPrintableArea(QPageSize(QPageSize::A4)).topLeft());
  const QString prefix = pdf + QStringLiteral(".crop");
  QProcess process;
  process.start(QStringLiteral("pdftoppm"),
                {QStringLiteral("-r"), QStringLiteral("600"), QStringLiteral("-gray"), QStringLiteral("-f"),
                 QString::number(page), QStringLiteral("-l"), QString::number(page), QStringLiteral("-x"),
                 QString::number(onPage.x()), QStringLiteral("-y"), QString::number(onPage.y()), QStringLiteral("-W"),
                 QString::number(onPage.width()), QStringLiteral("-H"), QString::number(onPage.height()),
                 QStringLiteral("-singlefile"), pdf, prefix});
  if (!process.waitForFinished(60000) || process.exitCode() != 0) return {};
  QImage image(prefix + QStringLiteral(".pgm"));
  return image.convertToFormat(QImage::Format_Grayscale8);
}

inline QString PdfInfo(const QString& pdf) {
  QProcess process;
  process.start(QStringLiteral("pdfinfo"), {pdf});
  process.waitForFinished(60000);
  return QString::fromUtf8(process.readAllStandardOutput());
}

inline int Grey(const QImage& image, int x, int y) { return qGray(image.pixel(x, y)); }

inline int CountPixels(const QImage& image, const QRect& rect, bool (*test)(int)) {
  int count = 0;
  for (int y = rect.top(); y <= rect.bottom(); ++y)
    for (int x = rect.left(); x <= rect.right(); ++x) count += test(Grey(image, x, y));
  return count;
}
inline bool IsWhite(int grey) { return grey >= 250; }
inline bool IsInk(int grey) { return grey < 128; }

class PdfSurfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"pdftoppm", "pdfinfo", "pdftotext"})
      if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
        GTEST_SKIP() << tool << " (poppler-utils) is not installed";
    ASSERT_TRUE(dir_.isValid());
    path_ = dir_.filePath(QStringLiteral("job.pdf"));
    output_.setFileName(path_);
    ASSERT_TRUE(output_.open(QIODevice::WriteOnly));
    surface_ = PainterSurface::ForPdf(output_);
    ASSERT_TRUE(surface_->ShowPrintDialog());
    ASSERT_GT(surface_->OpenJob(kJobName), 0);
    ASSERT_TRUE(surface_->BeginDrawing());
    body_ = MakeFont(QStringLiteral("Courier New"), 46, 96);
  }

  void Finish() {
    surface_->EndDrawing();
    surface_->CloseJob();
    output_.close();
  }

  QTemporaryDir dir_;
  QString path_;
  QFile output_;
  std::unique_ptr<PainterSurface> surface_;
  Font body_;
};

}  // namespace folivane::painter_test
