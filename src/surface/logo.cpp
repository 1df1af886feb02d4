#include "surface/logo.h"

#include "base/rounding.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <cmath>

namespace folivane {

namespace {

constexpr qsizetype kBitmapFileHeaderSize = 14;
constexpr float kReferenceWidth = 2399.54f;
constexpr float kLogoWidthAtReference = 250.0f;
constexpr float kLogoHeightAtReference = 175.0f;

quint16 ReadU16(const QByteArray& bytes, qsizetype at) {
  return static_cast<quint16>(static_cast<quint8>(bytes[at]) | (static_cast<quint8>(bytes[at + 1]) << 8));
}

// The bitmap file header must carry the "BM" signature and two zero reserved fields.
bool HasBitmapFileHeader(const QByteArray& bitmap) {
  if (bitmap.size() < kBitmapFileHeaderSize) return false;
  if (bitmap[0] != 'B' || bitmap[1] != 'M') return false;
  return ReadU16(bitmap, 6) == 0 && ReadU16(bitmap, 8) == 0;
}

}  // namespace

QByteArray LogoBitmap() {
  QFile file(QStringLiteral(":/folivane/logo.bmp"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

QSize LogoSize(int printableWidth) {
  if (printableWidth <= 0) return {0, 0};
  const float ratio = kReferenceWidth / static_cast<float>(printableWidth);
  return {RoundHalfToEven(kLogoWidthAtReference / ratio), RoundHalfToEven(kLogoHeightAtReference / ratio)};
}

QImage PrepareLogo(int printableWidth, const QByteArray& bitmap) {
  if (!HasBitmapFileHeader(bitmap)) return {};
  // Read by Qt's own BMP reader alone: left to guess, the reader would first load every image
  // plugin installed and ask it (0.7 ms of a one-line job).
  QBuffer device;
  device.setData(bitmap);
  device.open(QIODevice::ReadOnly);
  QImageReader reader(&device, "bmp");
  reader.setAutoDetectImageFormat(false);
  QImage decoded = reader.read();
  if (decoded.isNull()) return {};
  decoded = decoded.convertToFormat(QImage::Format_RGB888);

  const QSize target = LogoSize(printableWidth);
  if (target.isEmpty()) return {};
  if (target == decoded.size()) return decoded;
  QImage scaled = decoded.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  if (scaled.isNull()) return {};
  return scaled.convertToFormat(QImage::Format_RGB888);
}

}  // namespace folivane
