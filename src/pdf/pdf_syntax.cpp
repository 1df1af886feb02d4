#include "pdf/pdf_syntax.h"

#include <cmath>
#include <cstdio>
#include <string_view>

namespace folivane {

std::string Reference(int number) {
  std::string out;
  AppendInt(out, number);
  out += " 0 R";
  return out;
}

void AppendReal(std::string& out, double value) {
  const long long scaled = std::llround(value * 10000.0);
  if (scaled % 10000 == 0) {
    AppendInt(out, scaled / 10000);
    return;
  }
  if (scaled < 0) out += '-';
  const long long magnitude = scaled < 0 ? -scaled : scaled;
  AppendInt(out, magnitude / 10000);
  char decimals[5];
  std::snprintf(decimals, sizeof decimals, "%04lld", magnitude % 10000);
  int length = 4;
  while (decimals[length - 1] == '0') --length;
  out += '.';
  out.append(decimals, length);
}

double AsWritten(double value) { return std::round(value * 10000.0) / 10000.0; }

void AppendFineReal(std::string& out, double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.8f", value);
  std::string_view written(text);
  while (written.back() == '0') written.remove_suffix(1);
  if (written.back() == '.') written.remove_suffix(1);
  out += written;
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
  // Runs without a byte to escape go in whole.
  std::size_t run = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const char byte = bytes[i];
    if (byte != '(' && byte != ')' && byte != '\\' && byte != '\r') continue;
    out.append(bytes + run, i - run);
    out += '\\';
    out += byte == '\r' ? 'r' : byte;
    run = i + 1;
  }
  out.append(bytes + run, count - run);
}

}  // namespace folivane
