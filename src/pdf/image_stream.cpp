#include "pdf/image_stream.h"

#include <libdeflate.h>

#include <cstdlib>

namespace folivane {

std::string PaethFilteredRows(const QImage& rgb) {
  const std::size_t rowBytes = static_cast<std::size_t>(rgb.width()) * 3;
  std::string out;
  out.reserve((rowBytes + 1) * static_cast<std::size_t>(rgb.height()));
  const std::string zeros(rowBytes, '\0');
  const auto* above = reinterpret_cast<const unsigned char*>(zeros.data());
  for (int y = 0; y < rgb.height(); ++y) {
    const unsigned char* row = rgb.constScanLine(y);
    out += '\4';
    for (std::size_t i = 0; i < rowBytes; ++i) {
      const int left = i >= 3 ? row[i - 3] : 0;
      const int up = above[i];
      const int upLeft = i >= 3 ? above[i - 3] : 0;
      const int guess = left + up - upLeft;
      const int toLeft = std::abs(guess - left);
      const int toUp = std::abs(guess - up);
      const int toUpLeft = std::abs(guess - upLeft);
      const int predicted = toLeft <= toUp && toLeft <= toUpLeft ? left : toUp <= toUpLeft ? up : upLeft;
      out += static_cast<char>(row[i] - predicted);
    }
    above = row;
  }
  return out;
}

quint64 SamplesDigest(const QImage& rgb) {
  const std::size_t rowBytes = static_cast<std::size_t>(rgb.width()) * 3;
  quint64 crc = 0;
  quint64 adler = 1;
  for (int y = 0; y < rgb.height(); ++y) {
    crc = libdeflate_crc32(static_cast<quint32>(crc), rgb.constScanLine(y), rowBytes);
    adler = libdeflate_adler32(static_cast<quint32>(adler), rgb.constScanLine(y), rowBytes);
  }
  const quint64 size = (static_cast<quint64>(rgb.width()) << 32) | static_cast<quint32>(rgb.height());
  return ((crc << 32) | adler) ^ (size * 0x9E3779B97F4A7C15ull);
}

}  // namespace folivane
