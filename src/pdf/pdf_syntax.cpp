#include "pdf/pdf_syntax.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

namespace folivane {

std::string Reference(int number) {
  std::string out;
  AppendInt(out, number);
  out += " 0 R";
  return out;
}

namespace {

// Whole numbers are most of what a page states (positions in device pixels, sizes): they are
// written without the rounding to four decimals, which gives them unchanged.
bool IsSmallWholeNumber(double value) {
  return std::abs(value) < 1e9 && value == static_cast<double>(static_cast<int>(value));
}

}  // namespace

void AppendReal(std::string& out, double value) {
  if (IsSmallWholeNumber(value)) {
    AppendInt(out, static_cast<int>(value));
    return;
  }
  const long long scaled = std::llround(value * 10000.0);
  if (scaled % 10000 == 0) {
    AppendInt(out, scaled / 10000);
    return;
  }
  if (scaled < 0) out += '-';
  const long long magnitude = scaled < 0 ? -scaled : scaled;
  AppendInt(out, magnitude / 10000);
  long long fraction = magnitude % 10000;
  char decimals[4];
  for (int i = 3; i >= 0; --i) {
    decimals[i] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  int length = 4;
  while (decimals[length - 1] == '0') --length;
  out += '.';
  out.append(decimals, length);
}

double AsWritten(double value) {
  if (IsSmallWholeNumber(value)) return value;
  return std::round(value * 10000.0) / 10000.0;
}

void AppendFineReal(std::string& out, double value) {
  // What printf's "%.8f" gives in 32 bytes, made without printf, which took a microsecond a call.
  char text[400];
  const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 8);
  if (written.ec != std::errc()) return;
  std::string_view shown(text, std::min<std::size_t>(written.ptr - text, 31));
  while (shown.back() == '0') shown.remove_suffix(1);
  if (shown.back() == '.') shown.remove_suffix(1);
  out += shown;
}

std::string TextString(const QString& text) {
  bool ascii = true;
  for (QChar c : text) ascii = ascii && c.unicode() >= 0x20 && c.unicode() < 0x7F;
  std::string out;
  if (ascii) {
    out += '(';
    for (QChar c : text) {
      const char byte = static_cast<char>(c.unicode());
      AppendLiteralBytes(out, &byte, 1);
    }
    out += ')';
    return out;
  }
  static const char kHex[] = "0123456789ABCDEF";
  out += "<FEFF";
  for (QChar c : text) {
    const char16_t unit = c.unicode();
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 0xF];
  }
  out += '>';
  return out;
}

void AppendLiteralBytes(std::string& out, const char* bytes, std::size_t count) {
  static constexpr auto kEscaped = [] {
    std::array<bool, 256> escaped{};
    for (const unsigned char byte : {'(', ')', '\\', '\r'}) escaped[byte] = true;
    return escaped;
  }();
  // Runs without a byte to escape go in whole.
  std::size_t run = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const char byte = bytes[i];
    if (!kEscaped[static_cast<unsigned char>(byte)]) continue;
    out.append(bytes + run, i - run);
    out += '\\';
    out += byte == '\r' ? 'r' : byte;
    run = i + 1;
  }
  out.append(bytes + run, count - run);
}

}  // namespace folivane
