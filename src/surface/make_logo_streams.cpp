// Writes, as C++, the logo's image streams for the papers most PDFs are printed on, deflated at
// the smallest level: made once at build time, where deflating it on every run took a tenth of
// a small job's time and gave a stream 10 % larger.
#include <QByteArray>
#include <QFile>
#include <QPageSize>
#include <cstdio>

#include "pdf/deflater.h"
#include "pdf/image_stream.h"
#include "surface/logo.h"
#include "surface/painter_surface.h"

int main(int argc, char** argv) {
  using namespace folivane;
  if (argc != 3) {
    std::fputs("usage: make_logo_streams LOGO.bmp OUTPUT.cpp\n", stderr);
    return 2;
  }
  QFile bitmapFile(QString::fromLocal8Bit(argv[1]));
  if (!bitmapFile.open(QIODevice::ReadOnly)) return 1;
  const QByteArray bitmap = bitmapFile.readAll();

  QByteArray out =
      "// Made by make_logo_streams from logo.bmp; not to be edited.\n"
      "#include \"surface/logo_streams.h\"\n\nnamespace folivane {\nnamespace {\n\n";
  QByteArray table =
      "}  // namespace\n\nconst std::span<const KnownImageStream> kLogoStreams = [] {\n"
      "  static const KnownImageStream streams[] = {\n";
  int index = 0;
  for (const QPageSize::PageSizeId paper : {QPageSize::A4, QPageSize::Letter}) {
    const QImage rgb =
        PrepareLogo(PdfPrintableArea(QPageSize(paper)).width(), bitmap).convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull()) return 1;
    const std::string deflated = Deflater().Deflate(PaethFilteredRows(rgb), Deflater::Effort::kSmallest);
    out += "const unsigned char kStream" + QByteArray::number(index) + "[] = {";
    for (std::size_t i = 0; i < deflated.size(); ++i) {
      out += (i % 24 == 0 ? "\n  " : " ") + QByteArray::number(static_cast<unsigned char>(deflated[i])) + ',';
    }
    out += "\n};\n\n";
    table += "      {" + QByteArray::number(rgb.width()) + ", " + QByteArray::number(rgb.height()) + ", " +
             QByteArray::number(SamplesDigest(rgb)) + "ull, {reinterpret_cast<const char*>(kStream" +
             QByteArray::number(index) + "), sizeof kStream" + QByteArray::number(index) + "}},\n";
    ++index;
  }
  out += table + "  };\n  return std::span<const KnownImageStream>(streams);\n}();\n\n}  // namespace folivane\n";
  QFile output(QString::fromLocal8Bit(argv[2]));
  return output.open(QIODevice::WriteOnly) && output.write(out) == out.size() ? 0 : 1;
}
