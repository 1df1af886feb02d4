#include "intake/line_reader.h"

#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
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

// The end of the run of plain bytes that starts at `from`, looking at eight bytes at a time.
std::ptrdiff_t PlainRunEnd(const unsigned char* bytes, std::ptrdiff_t from, std::ptrdiff_t end) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  constexpr std::uint64_t kHighBits = 0x8080808080808080u;
  const auto hasZeroByte = [](std::uint64_t word) { return (word - kOnes) & ~word & kHighBits; };
  while (end - from >= 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + from, sizeof word);
    // The lowest flagged byte is exact: a false flag can only stand above a true one.
    const std::uint64_t stops = (word & kHighBits) | hasZeroByte(word) |
                                hasZeroByte(word ^ (kOnes * 0x0A)) | hasZeroByte(word ^ (kOnes * 0x0D));
    if (stops == 0) {
      from += 8;
      continue;
    }
    if constexpr (std::endian::native == std::endian::little) return from + std::countr_zero(stops) / 8;
    break;
  }
  while (from < end && kPlainByte[bytes[from]]) ++from;
  return from;
}

// Decodes up to the first NUL (at `firstNul`, or -1 for none); keeps a leading byte-order mark,
// which QString::fromUtf8 would swallow, as U+FEFF.
QString DecodeLine(QByteArrayView bytes, std::ptrdiff_t firstNul) {
  if (firstNul >= 0) bytes = bytes.first(firstNul);
  if (bytes.startsWith(QByteArrayView(kByteOrderMark, 3))) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless |
                                                     QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
  }
  return QString::fromUtf8(bytes);
}

}  // namespace

std::ptrdiff_t MemoryByteSource::Read(char* buffer, std::ptrdiff_t size) {
  const std::ptrdiff_t count = std::min<std::ptrdiff_t>(size, bytes_.size() - position_);
  if (count <= 0) return 0;
  std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(count));
  position_ += count;
  return count;
}

LineReader::LineReader(ByteSource& source) : source_(source) { line_.reserve(kReadBufferSize); }

bool LineReader::Refill() {
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
    const std::ptrdiff_t runStart = readPosition_;
    const std::ptrdiff_t runEnd = PlainRunEnd(bytes, runStart, readEnd_);
    const QByteArrayView run(readBuffer_ + runStart, runEnd - runStart);
    readPosition_ = runEnd;
    if (runEnd < readEnd_ && line_.empty()) {
      const unsigned char terminator = bytes[runEnd];
      if (terminator == 0x0A || terminator == 0x00 || terminator == 0x0D) {
        // The whole line lies in the read buffer: decode it there, before a refill overwrites it.
        // The run holds ASCII only, which Latin-1 decodes as UTF-8 does, without validation.
        QString text = QString::fromLatin1(run);
        ++readPosition_;
        if (terminator == 0x0D && Fill() && bytes[readPosition_] == 0x0A) ++readPosition_;
        return text;
      }
    }
    if (!run.isEmpty()) {
      line_.append(run.data(), static_cast<std::size_t>(run.size()));
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
    if (readEnd_ - readPosition_ >= furtherBytes) {
      const char* further = readBuffer_ + readPosition_;
      const void* nul = std::memchr(further, '\0', static_cast<std::size_t>(furtherBytes));
      if (nul && firstNul_ < 0) {
        firstNul_ = static_cast<std::ptrdiff_t>(sequenceStart) + 1 +
                    (static_cast<const char*>(nul) - further);
      }
      line_.append(further, static_cast<std::size_t>(furtherBytes));
      readPosition_ += furtherBytes;
      continue;
    }
    for (int taken = 0; taken < furtherBytes; ++taken) {
      if (!Fill()) {
        line_.resize(sequenceStart);
        if (firstNul_ >= static_cast<std::ptrdiff_t>(sequenceStart)) firstNul_ = -1;
        return DecodeLine(QByteArrayView(line_.data(), line_.size()), firstNul_);
      }
      const char further = readBuffer_[readPosition_++];
      if (further == '\0' && firstNul_ < 0) firstNul_ = static_cast<std::ptrdiff_t>(line_.size());
      line_.push_back(further);
    }
  }
  return DecodeLine(QByteArrayView(line_.data(), line_.size()), firstNul_);
}

}  // namespace folivane
