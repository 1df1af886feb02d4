// The tool's logo: the stored 101 x 69 bitmap, decoded and scaled to the printable width.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace folivane {

// The stored bitmap file, byte for byte (21,030 bytes).
QByteArray LogoBitmap();

// Size of the scaled logo for a printable width in device pixels (496 x 347 for 4,760).
QSize LogoSize(int printableWidth);

// Decodes `bitmap` and scales it smoothly to LogoSize(printableWidth); a null image when the
// bitmap is not an acceptable uncompressed 24-bit BMP.
QImage PrepareLogo(int printableWidth, const QByteArray& bitmap = LogoBitmap());

}  // namespace folivane
