#include "pdf/pdf_document.h"

#include <QBuffer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <random>
#include <string>

namespace folivane {
namespace {

ContentStream Square(QRgb colour) {
  ContentStream page;
  page.SetFillColour(colour);
  page.Rectangle(10, 10, 100, 100);
  page.Fill();
  return page;
}

TEST(PdfDocumentTest, PagesFormsAndImagesMakeAFileQpdfAccepts) {
  if (QStandardPaths::findExecutable(u"qpdf"_qs).isEmpty()) GTEST_SKIP() << "qpdf missing";
  QTemporaryDir dir;
  QFile file(dir.filePath(u"a.pdf"_qs));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  {
    PdfDocument document(file, QSize(595, 842), 2);
    ASSERT_TRUE(document.Start());
    QImage picture(7, 5, QImage::Format_RGB32);
    picture.fill(Qt::green);
    const std::string form = document.AddForm(Square(qRgb(0, 0, 255)), QSize(200, 200));
    for (int i = 0; i < 30; ++i) {
      ContentStream page = Square(qRgb(i, 0, 0));
      page.Draw(form);
      page.Save(ContentStream::kSpace);
      page.Draw(document.ImageName(picture), ContentStream::kSpace);
      page.Restore();
      document.AddPage(std::move(page));
    }
    EXPECT_EQ(document.ImageName(picture), document.ImageName(picture));
    EXPECT_TRUE(document.Finish(u"Squares"_qs, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5))));
  }
  file.close();
  QProcess qpdf;
  qpdf.start(u"qpdf"_qs, {u"--check"_qs, file.fileName()});
  ASSERT_TRUE(qpdf.waitForFinished(60000));
  const QByteArray check = qpdf.readAllStandardOutput();
  EXPECT_EQ(qpdf.exitCode(), 0) << check.toStdString();
  EXPECT_TRUE(check.contains("No syntax or stream encoding errors")) << check.toStdString();
  qpdf.start(u"qpdf"_qs, {u"--show-npages"_qs, file.fileName()});
  ASSERT_TRUE(qpdf.waitForFinished(60000));
  EXPECT_EQ(qpdf.readAllStandardOutput().trimmed(), "30");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().count("/Subtype /Image"), 1);
}

// Rows of a long generated line, each like the one before but for its numbers, which the greedy
// level deflates smaller, or rows of varied letters, which it does not.
ContentStream TextPage(int number, bool repetitive) {
  ContentStream page;
  page.SetFillColour(0);
  page.BeginText();
  page.SetFont("/F1", 61);
  std::mt19937 random(static_cast<unsigned>(number));
  for (int row = 0; row < 80; ++row) {
    std::string text;
    for (int k = 0; k < 6; ++k) {
      const std::string value = std::to_string(7986 + 32 * (row * 6 + k) + 3000 * number);
      if (repetitive) text += "Value(" + value + ") = Value(" + value + ") + 1 : ";
      else
        for (int letter = 0; letter < 20; ++letter) text += static_cast<char>('a' + random() % 26);
    }
    GlyphString string;
    string.AddCode(text.data(), text.size());
    page.MoveText(0, -78);
    page.ShowText(string);
  }
  page.EndText();
  return page;
}

// Which pages are deflated at both levels follows from the pages before, never from how far the
// workers have got.
TEST(PdfDocumentTest, PagesAreTheSameBytesWithAnyNumberOfWorkers) {
  auto write = [](int workers) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    PdfDocument document(buffer, QSize(595, 842), workers);
    if (!document.Start()) return QByteArray();
    for (int i = 0; i < 70; ++i) document.AddPage(TextPage(i, i < 24 || i >= 46));
    if (!document.Finish(u"Rows"_qs, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)))) return QByteArray();
    return buffer.data();
  };
  const QByteArray alone = write(0);
  ASSERT_FALSE(alone.isEmpty());
  EXPECT_EQ(write(1), alone);
  EXPECT_EQ(write(4), alone);
}

// The writer, not a reader of the file afterwards, knows whether the file is whole.
TEST(PdfDocumentTest, FinishSaysWhenTheFileIsNotWhole) {
  QBuffer refusing;  // never opened: every write fails
  PdfDocument unwritable(refusing, QSize(595, 842), 0);
  EXPECT_FALSE(unwritable.Start());

  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  PdfDocument slipped(buffer, QSize(595, 842), 0);
  ASSERT_TRUE(slipped.Start());
  ContentStream page;
  page.Fill();  // no colour yet
  slipped.AddPage(std::move(page));
  EXPECT_FALSE(slipped.Finish(u"x"_qs, {}));
}

// A picture deflated before the run is stored as it was given; any other is deflated here.
TEST(PdfDocumentTest, AKnownPictureIsStoredAsDeflatedBefore) {
  QImage known(3, 2, QImage::Format_RGB888);
  known.fill(Qt::red);
  QImage other(3, 2, QImage::Format_RGB888);
  other.fill(Qt::blue);
  const KnownImageStream streams[] = {{3, 2, SamplesDigest(known), "KNOWN-STREAM"}};
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  PdfDocument document(buffer, QSize(595, 842), 1, streams);
  ASSERT_TRUE(document.Start());
  ContentStream page;
  page.Draw(document.ImageName(known));
  page.Draw(document.ImageName(other));
  document.AddPage(std::move(page));
  ASSERT_TRUE(document.Finish(u"x"_qs, {}));
  EXPECT_TRUE(buffer.data().contains("stream\nKNOWN-STREAM\nendstream"));
  EXPECT_EQ(buffer.data().count("/Subtype /Image"), 2);
}

}  // namespace
}  // namespace folivane
