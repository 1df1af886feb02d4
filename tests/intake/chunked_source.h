// A byte source over memory for tests of the line reader: reads of a chosen size, a failing read.
#pragma once

#include <QByteArray>
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>

#include "intake/line_reader.h"

namespace folivane {

// Hands out at most `chunk` bytes a read, and fails (once, then would go on) at byte `failAt`.
class ChunkedSource final : public ByteSource {
 public:
  explicit ChunkedSource(QByteArray bytes, std::ptrdiff_t chunk = std::numeric_limits<std::ptrdiff_t>::max(),
                         std::ptrdiff_t failAt = -1)
      : bytes_(std::move(bytes)), chunk_(chunk), failAt_(failAt) {}
  std::ptrdiff_t Read(char* buffer, std::ptrdiff_t size) override {
    ++reads;
    if (position_ == failAt_) {
      failAt_ = -1;
      return -1;
    }
    std::ptrdiff_t count = std::min({size, chunk_, static_cast<std::ptrdiff_t>(bytes_.size()) - position_});
    if (failAt_ > position_) count = std::min(count, failAt_ - position_);
    std::memcpy(buffer, bytes_.constData() + position_, static_cast<size_t>(count));
    position_ += count;
    return count;
  }
  int reads = 0;

 private:
  QByteArray bytes_;
  std::ptrdiff_t chunk_;
  std::ptrdiff_t failAt_;
  std::ptrdiff_t position_ = 0;
};

}  // namespace folivane
