#include "intake/line_reader.h"

#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <cstring>

namespace folivane {

namespace {

// Bytes that stand for themselves in a line: ASCII other than LF, CR and NUL.
constexpr std::array<bool, 256> MakePlainByteTable() {
  std::array<bool, 256> plain{};
  for (int byte = 0x01; byte < 0x80; ++byte) plain[byte] = byte != 0x0A && byte != 0x0D;
  return plain;
}
constexpr std::array<bool, 256> kPlainByte = MakePlainByteTable();

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

}  // namespace

std::ptrdiff_t MemoryByteSource::Read(char* buffer, std::ptrdiff_t size) {
  const std::ptrdiff_t count = std::min<std::ptrdiff_t>(size, bytes_.size() - position_);
  if (count <= 0) return 0;
  std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(count));
  position_ += count;
  return count;
}

LineReader::LineReader(ByteSource& source) : source_(source) { line_.reserve(kReadBufferSize); }

bool LineReader::Fill() {
  if (readPosition_ < readEnd_) return true;
  if (exhausted_) return false;
  const std::ptrdiff_t count = source_.Read(readBuffer_, kReadBufferSize);
  if (count <= 0) {
    exhausted_ = true;
    return false;
  }
  readPosition_ = 0;
  readEnd_ = std::min(count, kReadBufferSize);
  return true;
}

bool LineReader::AtEnd() { return !Fill(); }

QString LineReader::ReadLine() {
  line_.clear();
  firstNul_ = -1;
  const auto* bytes = reinterpret_cast<const unsigned char*>(readBuffer_);
  while (Fill()) {
    std::ptrdiff_t runEnd = readPosition_;
    while (runEnd < readEnd_ && kPlainByte[bytes[runEnd]]) ++runEnd;
    if (runEnd > readPosition_) {
      line_.append(readBuffer_ + readPosition_, static_cast<std::size_t>(runEnd - readPosition_));
      readPosition_ = runEnd;
      continue;
    }

    const unsigned char lead = bytes[readPosition_++];
    if (lead == 0x0A || lead == 0x00) break;
    if (lead == 0x0D) {
      if (Fill() && bytes[readPosition_] == 0x0A) ++readPosition_;
      break;
    }
    if (lead < 0xC0 || lead > 0xF7) {
      line_.push_back('?');
      continue;
    }

    const int furtherBytes = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    const std::size_t sequenceStart = line_.size();
    line_.push_back(static_cast<char>(lead));
    for (int taken = 0; taken < furtherBytes; ++taken) {
      if (!Fill()) {
        line_.resize(sequenceStart);
        return DecodeLine();
      }
      const char further = readBuffer_[readPosition_++];
      if (further == '\0' && firstNul_ < 0) firstNul_ = static_cast<std::ptrdiff_t>(line_.size());
      line_.push_back(further);
    }
  }
  return DecodeLine();
}

QString LineReader::DecodeLine() const {
  const QByteArrayView bytes(line_.data(),
                             firstNul_ >= 0 ? firstNul_ : static_cast<std::ptrdiff_t>(line_.size()));
  // QString::fromUtf8 would swallow a leading byte-order mark; the line must keep it as U+FEFF.
  if (bytes.startsWith(QByteArrayView(kByteOrderMark, 3))) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless |
                                                     QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
  }
  return QString::fromUtf8(bytes);
}

}  // namespace folivane
