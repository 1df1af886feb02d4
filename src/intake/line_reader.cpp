#include "intake/line_reader.h"

#include <algorithm>

namespace folivane {

namespace {

constexpr qsizetype kLargestRead = 16 * 1024 * 1024;

bool EndsLine(char16_t unit) { return unit == u'\n' || unit == u'\r' || unit == u'\0'; }

}  // namespace

QByteArray ReadAtMost(ByteSource& source, qint64 limit, bool& cutShort) {
  cutShort = false;
  QByteArray bytes;
  limit = std::max<qint64>(limit, 0);
  const qint64 hint = source.SizeHint();
  // A source that knows its size gets one buffer of that size; others grow as they deliver.
  qint64 capacity = hint >= 0 ? std::min(hint, limit) : std::min<qint64>(limit, kReadSize);
  bytes.resize(static_cast<qsizetype>(capacity));
  qint64 filled = 0;
  for (;;) {
    if (filled == capacity) {
      if (capacity == limit) {
        // Full to the limit: one more byte would tell whether anything lies beyond.
        char probe;
        cutShort = source.Read(&probe, 1) > 0;
        break;
      }
      capacity = std::min(limit, std::max<qint64>(2 * capacity, kReadSize));
      bytes.resize(static_cast<qsizetype>(capacity));
    }
    const qint64 wanted = std::min<qint64>(capacity - filled, kLargestRead);
    const std::ptrdiff_t count = source.Read(bytes.data() + filled, static_cast<std::ptrdiff_t>(wanted));
    if (count <= 0) break;
    filled += std::min<qint64>(count, wanted);
  }
  bytes.truncate(static_cast<qsizetype>(filled));
  return bytes;
}

bool LineSplitter::Next(QStringView& line) {
  const qsizetype size = text_.size();
  if (position_ >= size) return false;
  const char16_t* units = text_.utf16();
  qsizetype end = position_;
  while (end < size && !EndsLine(units[end])) ++end;
  line = text_.sliced(position_, end - position_);
  position_ = end + 1;
  if (end < size && units[end] == u'\r' && position_ < size && units[position_] == u'\n') ++position_;
  return true;
}

qsizetype LineSplitter::CountRemaining(qsizetype cap) const {
  LineSplitter counter(*this);
  QStringView line;
  qsizetype count = 0;
  while (count < cap && counter.Next(line)) ++count;
  return count;
}

}  // namespace folivane
