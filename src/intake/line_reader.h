// The line reader: reads a bounded byte stream and splits its text into lines by the IDE's line-end rules.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstddef>

namespace folivane {

// Where the copy's bytes come from: the opened file, or a stand-in of the tests.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Copies up to `size` bytes into `buffer`. Returns the number copied, 0 at the end, and a
  // negative number when the read failed; the reader treats a failure as the end.
  virtual std::ptrdiff_t Read(char* buffer, std::ptrdiff_t size) = 0;
  // How many bytes the source expects to hand out, or -1 when it cannot tell; only a hint.
  virtual qint64 SizeHint() const { return -1; }
};

// How much the intake asks of a source at a time, where the source's size does not decide it.
inline constexpr qsizetype kReadSize = 64 * 1024;

// Reads the source to its end, a failed read or `limit` bytes, whichever comes first; the source
// is not asked again after it reported its end or a failure. `cutShort` tells whether bytes may
// lie beyond the limit.
QByteArray ReadAtMost(ByteSource& source, qint64 limit, bool& cutShort);

// Hands out the lines of a text one after another. A line ends at LF, CR, CR LF, NUL or the end
// of the text; the terminator belongs to no line, and a terminator at the very end adds no empty
// line. Each line is a view into the text, which must outlive it.
class LineSplitter {
 public:
  explicit LineSplitter(QStringView text) : text_(text) {}
  // The next line into `line`; false when no line is left.
  bool Next(QStringView& line);
  // How many lines Next would still give, counting at most `cap` of them.
  qsizetype CountRemaining(qsizetype cap) const;

 private:
  QStringView text_;
  qsizetype position_ = 0;
};

}  // namespace folivane
