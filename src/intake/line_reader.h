// The line reader: splits a UTF-8 byte stream into text lines by the IDE's line-end rules.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <cstddef>
#include <string>

namespace folivane {

// Where the line reader's bytes come from: a file, or memory for tests, fuzzing and benchmarks.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Copies up to `size` bytes into `buffer`. Returns the number copied, 0 at the end, and a
  // negative number when the read failed; the reader treats a failure as the end.
  virtual std::ptrdiff_t Read(char* buffer, std::ptrdiff_t size) = 0;
};

// A byte source over memory that the caller keeps alive.
class MemoryByteSource final : public ByteSource {
 public:
  explicit MemoryByteSource(QByteArrayView bytes) : bytes_(bytes) {}
  std::ptrdiff_t Read(char* buffer, std::ptrdiff_t size) override;

 private:
  QByteArrayView bytes_;
  std::ptrdiff_t position_ = 0;
};

// Reads through a 4096-byte buffer. A line ends at LF, CR, CR LF, NUL or the end of the input,
// but only where a UTF-8 sequence begins: the further bytes of a sequence are taken unexamined.
// Bytes 80-BF and F8-FF that begin a sequence become "?"; a sequence cut off by the end of the
// input is dropped. A leading byte-order mark is kept as U+FEFF.
class LineReader {
 public:
  static constexpr std::ptrdiff_t kReadBufferSize = 4096;

  explicit LineReader(ByteSource& source);
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // True when no further byte can be read. Once the source has reported its end or a failure,
  // it is not asked again.
  bool AtEnd();
  // The next line without its terminator; empty when AtEnd().
  QString ReadLine();

 private:
  // Makes at least one unread byte available; false at the end.
  bool Fill() { return readPosition_ < readEnd_ || Refill(); }
  bool Refill();

  ByteSource& source_;
  char readBuffer_[kReadBufferSize];
  std::ptrdiff_t readPosition_ = 0;
  std::ptrdiff_t readEnd_ = 0;
  bool exhausted_ = false;
  std::string line_;
  // Where the first NUL taken as a further byte of a sequence stands in line_, or -1.
  std::ptrdiff_t firstNul_ = -1;
};

}  // namespace folivane
