// A PDF file written front to back: numbered objects, small ones packed into deflated object
// streams, and a cross-reference stream.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/deflater.h"
#include "pdf/pdf_syntax.h"

class QIODevice;

namespace folivane {

class PdfFile {
 public:
  // Writes to `device`, which is open for writing and outlives the file.
  explicit PdfFile(QIODevice& device) : device_(device) {}
  // Writes the header; false when it cannot be written.
  bool Start();
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
  // Writes the objects still waiting and the cross-reference stream naming the catalog and the
  // document information; true when the whole file was handed to the device: nothing failed to
  // be written and every object reserved was written. The device says why a write failed.
  bool Finish(int catalog, int info);

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
  void Flush();
  void WritePacked();

  QIODevice& device_;
  // Bytes gathered for the device, which takes each write as it comes (a system call each).
  static constexpr std::size_t kGathered = 64 * 1024;
  std::string waiting_;
  // One for every stream of the file: a compressor's tables are a megabyte of fresh memory.
  std::optional<Deflater> deflater_;
  std::int64_t position_ = 0;
  std::vector<Entry> entries_{Entry{Entry::kInFile}};  // object 0 heads the free list
  int packing_ = 0;                                    // the object stream being filled, 0 when none
  std::string packedOffsets_;                          // "number offset ..." of the objects packed so far
  std::string packedBodies_;
  int packedCount_ = 0;
  bool failed_ = false;
};

}  // namespace folivane
