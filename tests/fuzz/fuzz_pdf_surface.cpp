// Fuzz target for the PDF writer: random text, boxes, page breaks and the logo drawn through it.
// Whatever is drawn, the file must hold together: a header, every object where the
// cross-reference table says it is, the table where startxref says, and the end marker.
#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "surface/fonts.h"
#include "surface/logo.h"
#include "surface/pdf_surface.h"

namespace {

QTemporaryDir* workDir = nullptr;

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckStructure(const QByteArray& pdf) {
  Require(pdf.startsWith("%PDF-1.7\n"));
  Require(pdf.endsWith("%%EOF\n"));
  const qsizetype marker = pdf.lastIndexOf("startxref\n");
  Require(marker > 0);
  bool ok = false;
  const qsizetype xref = pdf.mid(marker + 10).split('\n').value(0).toLongLong(&ok);
  Require(ok && xref > 0 && xref < marker);
  Require(pdf.mid(xref, 5) == "xref\n");
  const QList<QByteArray> head = pdf.mid(xref + 5, 40).split('\n').value(0).split(' ');
  Require(head.size() == 2 && head[0] == "0");
  const int count = head[1].toInt(&ok);
  Require(ok && count > 3);
  const qsizetype entries = pdf.indexOf('\n', xref + 5) + 1;
  for (int object = 1; object < count; ++object) {
    const QByteArray entry = pdf.mid(entries + object * 20, 20);
    Require(entry.endsWith(" 00000 n\r\n"));
    const qsizetype offset = entry.left(10).toLongLong(&ok);
    Require(ok && offset < xref);
    Require(pdf.mid(offset).startsWith(QByteArray::number(object) + " 0 obj\n"));
  }
  Require(pdf.mid(entries + count * 20).startsWith("trailer\n<< /Size " + QByteArray::number(count) + ' '));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "fuzz_pdf_surface";
  static char* argv[] = {name, nullptr};
  new QGuiApplication(argc, argv);
  workDir = new QTemporaryDir();
  return 0;
}

// The bytes are a program: each step takes an operation byte and, for text, a length and that
// many UTF-16 units.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace folivane;
  const QString path = workDir->filePath(QStringLiteral("out.pdf"));
  {
    PdfSurface surface(path, QPageSize(QPageSize::A4), QRect(99, 119, 4760, 6779), QDateTime(),
                       1 + static_cast<int>(size % 2));
    Require(surface.OpenJob(QStringLiteral("PureBasic - Folivane")) == 1);
    const Font fonts[] = {MakeFont(QStringLiteral("Courier New"), 46, 96),
                          MakeFont(QStringLiteral("Arial Bold"), 92, 96)};
    static const QImage logo = PrepareLogo(4760);
    Require(surface.BeginDrawing());
    surface.SetTransparentText();
    std::size_t at = 0;
    int pages = 1;
    while (at < size) {
      const std::uint8_t op = data[at++];
      const int x = (op * 37) % 5000 - 100;
      const int y = (op * 53) % 7000 - 100;
      switch (op % 8) {
        case 0:
          if (pages < 20) {
            surface.NextPage();
            ++pages;
          }
          break;
        case 1:
          surface.UseFont(fonts[(op >> 3) & 1]);
          break;
        case 2:
          surface.FillBox(x, y, op, op / 2 + 1, (op & 16) ? kWhite : kBlack);
          break;
        case 3:
          surface.PutImage(logo, x, y);
          break;
        case 4:
          surface.SetForeground((op & 16) ? kWhite : kBlack);
          break;
        default: {
          const std::size_t units = at < size ? std::min<std::size_t>(data[at++], (size - at) / 2) : 0;
          QString text(static_cast<qsizetype>(units), Qt::Uninitialized);
          for (std::size_t i = 0; i < units; ++i)
            text[static_cast<qsizetype>(i)] = QChar(static_cast<char16_t>(data[at + 2 * i] | (data[at + 2 * i + 1] << 8)));
          at += 2 * units;
          const int end = surface.PutText(x, y, text);
          Require(end == x + surface.MeasureText(text));
          break;
        }
      }
    }
    surface.EndDrawing();
    surface.CloseJob();
    Require(surface.Written());
  }
  QFile file(path);
  Require(file.open(QIODevice::ReadOnly));
  CheckStructure(file.readAll());
  return 0;
}
