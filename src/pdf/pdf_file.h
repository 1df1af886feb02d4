// A PDF file written front to back: numbered objects, small ones packed into deflated object
// streams, and a cross-reference stream.
#pragma once

#include <QFile>
#include <QString>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/page_compressor.h"

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
  int Reserve() {
    entries_.push_back(Entry{});
    return static_cast<int>(entries_.size()) - 1;
  }
  // Writes an object that is not a stream: it goes into an object stream with its neighbours,
  // where a page's dictionary costs a few bytes instead of a hundred.
  void WriteObject(int number, std::string_view body);
  // Writes a stream object; `dictionary` holds the entries without /Length.
  void WriteStream(int number, std::string_view dictionary, std::string_view data);
  // Writes a stream object of `data` deflated, adding the filter to `dictionary`.
  void WriteDeflatedStream(int number, std::string dictionary, const std::string& data);
  // Writes the objects still waiting, the cross-reference stream naming the catalog and the
  // document information, and closes the file; false when anything could not be written or an
  // object was reserved and never written.
  bool Finish(int catalog, int info);
  bool Failed() const { return failed_; }
  // The system's error number (errno) of the first failed open or write; 0 when it is not known.
  int Error() const { return error_; }

 private:
  // Objects packed together: enough that their likeness deflates away, few enough that a
  // viewer reading one page unpacks little.
  static constexpr int kObjectsPerStream = 100;

  // Where an object is: in the file at `offset`, or the `index`th of object stream `offset`.
  struct Entry {
    enum Kind : unsigned char { kUnwritten, kInFile, kPacked } kind = kUnwritten;
    std::int64_t offset = 0;
    int index = 0;
  };

  void Write(std::string_view bytes);
  void WritePacked();

  QFile file_;
  // One for every stream of the file: a compressor's tables are a megabyte of fresh memory.
  std::optional<Deflater> deflater_;
  std::int64_t position_ = 0;
  std::vector<Entry> entries_{Entry{Entry::kInFile}};  // object 0 heads the free list
  int packing_ = 0;                                    // the object stream being filled, 0 when none
  std::string packedOffsets_;                          // "number offset ..." of the objects packed so far
  std::string packedBodies_;
  int packedCount_ = 0;
  bool failed_ = false;
  int error_ = 0;
};

}  // namespace folivane
