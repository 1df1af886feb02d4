#include "surface/pdf_file.h"

#include <cmath>
#include <cstdio>

namespace folivane {

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

std::string TextString(const QString& text) {
  bool latin1 = true;
  for (QChar c : text) latin1 = latin1 && c.unicode() >= 0x20 && c.unicode() < 0x7F;
  std::string out;
  if (latin1) {
    out += '(';
    for (QChar c : text) {
      const char byte = static_cast<char>(c.unicode());
      if (byte == '(' || byte == ')' || byte == '\\') out += '\\';
      out += byte;
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

bool PdfFile::Open(const QString& path) {
  file_.setFileName(path);
  if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  // The second line's high bytes mark the file as binary for tools that guess.
  Write("%PDF-1.7\n%\xE2\xE3\xCF\xD3\n");
  return !failed_;
}

void PdfFile::Write(std::string_view bytes) {
  if (failed_) return;
  if (file_.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())) {
    failed_ = true;
  }
  position_ += static_cast<std::int64_t>(bytes.size());
}

void PdfFile::WriteObject(int number, std::string_view body) {
  offsets_.at(number) = position_;
  std::string head;
  AppendInt(head, number);
  head += " 0 obj\n";
  Write(head);
  Write(body);
  Write("\nendobj\n");
}

void PdfFile::WriteStream(int number, std::string_view dictionary, std::string_view data) {
  offsets_.at(number) = position_;
  std::string head;
  AppendInt(head, number);
  head += " 0 obj\n<<";
  head += dictionary;
  head += " /Length ";
  AppendInt(head, static_cast<long long>(data.size()));
  head += ">>\nstream\n";
  Write(head);
  Write(data);
  Write("\nendstream\nendobj\n");
}

bool PdfFile::Finish(int catalog, int info) {
  const std::int64_t xref = position_;
  std::string table = "xref\n0 ";
  AppendInt(table, static_cast<long long>(offsets_.size()));
  table += "\n0000000000 65535 f\r\n";
  char entry[21];
  for (std::size_t i = 1; i < offsets_.size(); ++i) {
    if (offsets_[i] == kUnwritten) failed_ = true;
    std::snprintf(entry, sizeof entry, "%010lld 00000 n\r\n", static_cast<long long>(offsets_[i]));
    table.append(entry, 20);
  }
  table += "trailer\n<< /Size ";
  AppendInt(table, static_cast<long long>(offsets_.size()));
  table += " /Root ";
  AppendInt(table, catalog);
  table += " 0 R /Info ";
  AppendInt(table, info);
  table += " 0 R >>\nstartxref\n";
  AppendInt(table, xref);
  table += "\n%%EOF\n";
  Write(table);
  if (!file_.flush()) failed_ = true;
  file_.close();
  return !failed_;
}

}  // namespace folivane
