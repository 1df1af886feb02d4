// Fuzz target for the PDF writer: random text, boxes, page breaks and the logo drawn through it.
// Whatever is drawn, the file must hold together: a header, every object where the
// cross-reference stream says it is (in the file, or in an object stream that lists it there), the
// stream where startxref says, and the end marker.
#include <QByteArray>
#include <QList>
#include <QBuffer>
#include <QGuiApplication>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "surface/fonts.h"
#include "surface/logo.h"
#include "surface/pdf_surface.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

// A stream object's dictionary and inflated data, from "n 0 obj\n<<...>>\nstream\n".
struct Stream {
  QByteArray dictionary;
  QByteArray data;
};

long long NumberAfter(const QByteArray& dictionary, const QByteArray& key) {
  const qsizetype at = dictionary.indexOf(key + ' ');
  Require(at >= 0);
  bool ok = false;
  const long long value = dictionary.mid(at + key.size() + 1).split(' ').value(0).split('>').value(0).toLongLong(&ok);
  Require(ok);
  return value;
}

Stream StreamAt(const QByteArray& pdf, qsizetype offset, long long number) {
  Require(pdf.mid(offset).startsWith(QByteArray::number(number) + " 0 obj\n<<"));
  const qsizetype start = pdf.indexOf(">>\nstream\n", offset);
  Require(start > offset);
  Stream stream;
  stream.dictionary = pdf.mid(offset, start - offset);
  const long long length = NumberAfter(stream.dictionary, "/Length");
  Require(length >= 0 && start + 10 + length <= pdf.size());
  Require(pdf.mid(start + 10 + length).startsWith("\nendstream\nendobj\n"));
  if (stream.dictionary.contains("/FlateDecode")) {
    // qUncompress wants a size to start from in front; it grows the buffer as it needs.
    QByteArray framed(4, '\0');
    framed[1] = 1;
    framed.append(pdf.mid(start + 10, length));
    stream.data = qUncompress(framed);
    Require(!stream.data.isEmpty());
  } else {
    stream.data = pdf.mid(start + 10, length);
  }
  return stream;
}

void CheckStructure(const QByteArray& pdf) {
  Require(pdf.startsWith("%PDF-1.7\n"));
  Require(pdf.endsWith("%%EOF\n"));
  const qsizetype marker = pdf.lastIndexOf("startxref\n");
  Require(marker > 0);
  bool ok = false;
  const qsizetype xref = pdf.mid(marker + 10).split('\n').value(0).toLongLong(&ok);
  Require(ok && xref > 0 && xref < marker);
  const long long xrefNumber = pdf.mid(xref, 20).split(' ').value(0).toLongLong(&ok);
  Require(ok);
  const Stream table = StreamAt(pdf, xref, xrefNumber);
  Require(table.dictionary.contains("/Type /XRef") && table.dictionary.contains("/Root ") &&
          table.dictionary.contains("/Info "));
  const long long count = NumberAfter(table.dictionary, "/Size");
  const qsizetype w = table.dictionary.indexOf("/W [1 ");
  Require(w >= 0 && table.dictionary.mid(w + 7, 3) == " 2]");
  const int offsetBytes = table.dictionary.at(w + 6) - '0';
  Require(offsetBytes >= 1 && offsetBytes <= 8);
  const int row = 1 + offsetBytes + 2;
  Require(count > 3 && xrefNumber == count - 1 && table.data.size() == count * row);
  auto field = [&](long long entry, int from, int bytes) {
    long long value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | static_cast<unsigned char>(table.data[entry * row + from + i]);
    return value;
  };
  Require(field(0, 0, 1) == 0);
  for (long long object = 1; object < count; ++object) {
    const long long type = field(object, 0, 1);
    const long long second = field(object, 1, offsetBytes);
    const long long third = field(object, 1 + offsetBytes, 2);
    if (type == 1) {
      Require(second < marker && pdf.mid(second).startsWith(QByteArray::number(object) + " 0 obj\n"));
      continue;
    }
    // Packed: the object stream is in the file, and its index lists this object at that place.
    Require(type == 2 && second > 0 && second < count && field(second, 0, 1) == 1);
    const Stream packed = StreamAt(pdf, field(second, 1, offsetBytes), second);
    Require(packed.dictionary.contains("/Type /ObjStm"));
    Require(third < NumberAfter(packed.dictionary, "/N"));
    const QList<QByteArray> index = packed.data.left(NumberAfter(packed.dictionary, "/First")).split(' ');
    Require(index.value(2 * third) == QByteArray::number(object));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "fuzz_pdf_surface";
  static char* argv[] = {name, nullptr};
  new QGuiApplication(argc, argv);
  return 0;
}

// The bytes are a program: each step takes an operation byte and, for text, a length and that
// many UTF-16 units.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace folivane;
  QBuffer output;
  output.open(QIODevice::WriteOnly);
  {
    PdfSurface surface(output, QPageSize(QPageSize::A4), QRect(99, 119, 4760, 6779), QDateTime(),
                       1 + static_cast<int>(size % 2));
    Require(surface.OpenJob(QStringLiteral("PureBasic - Folivane")) == 1);
    const Font fonts[] = {MakeFont(QStringLiteral("Courier New"), 46, 96),
                          MakeFont(QStringLiteral("Arial Bold"), 92, 96)};
    static const QImage logo = PrepareLogo(4760);
    Require(surface.BeginDrawing());
    surface.SetTransparentText();
    std::size_t at = 0;
    int pages = 1;
    bool inPart = false;
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
        case 1: surface.UseFont(fonts[(op >> 3) & 1]); break;
        case 2: surface.FillBox(x, y, op, op / 2 + 1, (op & 16) ? kWhite : kBlack); break;
        case 3: surface.PutImage(logo, x, y); break;
        case 4: surface.SetForeground((op & 16) ? kWhite : kBlack); break;
        case 5:
          // Parts that come back the same, and parts that do not.
          if (inPart) {
            surface.EndRepeatedPart();
          } else {
            surface.BeginRepeatedPart();
          }
          inPart = !inPart;
          break;
        default: {
          std::size_t units = 0;
          if (at < size) {
            const std::size_t wanted = data[at++];
            units = std::min(wanted, (size - at) / 2);
          }
          QString text(static_cast<qsizetype>(units), Qt::Uninitialized);
          for (std::size_t i = 0; i < units; ++i)
            text[static_cast<qsizetype>(i)] =
                QChar(static_cast<char16_t>(data[at + 2 * i] | (data[at + 2 * i + 1] << 8)));
          at += 2 * units;
          const int end = surface.PutText(x, y, text);
          Require(end == x + surface.MeasureText(text));
          break;
        }
      }
    }
    surface.EndDrawing();
    surface.CloseJob();
    // Whole, and every operator stood where it may.
    Require(surface.Written());
  }
  CheckStructure(output.data());
  return 0;
}
