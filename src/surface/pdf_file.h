// A PDF file written front to back: numbered objects, their offsets, the cross-reference table.
#pragma once

#include <QFile>
#include <QString>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace folivane {

// Appends numbers to PDF text the way a content stream or a dictionary wants them.
inline void AppendInt(std::string& out, long long value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

// A real with at most four decimals and no trailing zeros ("12.5", "0.12", "-3").
void AppendReal(std::string& out, double value);

// A PDF string literal of Latin-1 text, or a UTF-16BE hex string with byte-order mark otherwise.
std::string TextString(const QString& text);

class PdfFile {
 public:
  // Creates or truncates the file and writes the header; false when it cannot be opened.
  bool Open(const QString& path);
  // A number for an object that is written later.
  int Reserve() { offsets_.push_back(kUnwritten); return static_cast<int>(offsets_.size()) - 1; }
  // Writes "n 0 obj", the body and "endobj".
  void WriteObject(int number, std::string_view body);
  // Writes a stream object; `dictionary` holds the entries without /Length.
  void WriteStream(int number, std::string_view dictionary, std::string_view data);
  // Writes the cross-reference table and the trailer and closes the file; false when anything
  // could not be written or an object was reserved and never written.
  bool Finish(int catalog, int info);
  bool Failed() const { return failed_; }

 private:
  static constexpr std::int64_t kUnwritten = -1;

  void Write(std::string_view bytes);

  QFile file_;
  std::int64_t position_ = 0;
  std::vector<std::int64_t> offsets_{0};  // object 0 is the head of the free list
  bool failed_ = false;
};

}  // namespace folivane
