// Fuzz target for the source intake over a byte stream: decoding, lines, the IDE options block and
// the version. The lines must not depend on how the stream is cut into reads, UTF-8 must follow the
// byte-by-byte line-end and sequence rules, and no code page may take a line end.
#include <QByteArray>
#include <QStringDecoder>
#include <QStringList>
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "chunked_source.h"
#include "intake/line_reader.h"
#include "intake/source_copy.h"
#include "intake/text_decoding.h"

namespace {

using folivane::ByteSource;

// Hands out the bytes in reads of varying size, some of them 0 bytes short of a full buffer.
class ChunkedByteSource final : public ByteSource {
 public:
  ChunkedByteSource(QByteArrayView bytes, std::uint32_t seed) : bytes_(bytes), state_(seed | 1u) {}
  std::ptrdiff_t Read(char* buffer, std::ptrdiff_t size) override {
    state_ = state_ * 1664525u + 1013904223u;
    std::ptrdiff_t wanted = 1 + static_cast<std::ptrdiff_t>((state_ >> 16) % 13);
    if ((state_ >> 8) % 4 == 0) wanted = size;
    const std::ptrdiff_t count = std::min<std::ptrdiff_t>({wanted, size, bytes_.size() - position_});
    if (count <= 0) return 0;
    std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(count));
    position_ += count;
    return count;
  }

 private:
  QByteArrayView bytes_;
  std::ptrdiff_t position_ = 0;
  std::uint32_t state_;
};

QString DecodeReference(const QByteArray& bytes) {
  if (bytes.startsWith("\xEF\xBB\xBF")) {
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
  }
  return QString::fromUtf8(bytes);
}

// The line-end and sequence rules taken one byte at a time, as the line reader documents them.
QStringList ReferenceLines(QByteArrayView input) {
  QStringList lines;
  const qsizetype end = input.size();
  qsizetype i = 0;
  while (i < end) {
    QByteArray line;
    while (i < end) {
      const auto lead = static_cast<unsigned char>(input[i++]);
      if (lead == 0x0A || lead == 0x00) break;
      if (lead == 0x0D) {
        if (i < end && input[i] == '\n') ++i;
        break;
      }
      if (lead < 0x80) {
        line.append(static_cast<char>(lead));
      } else if (lead < 0xC0 || lead > 0xF7) {
        line.append('?');
      } else {
        const qsizetype further = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
        QByteArray sequence(1, static_cast<char>(lead));
        while (sequence.size() <= further && i < end && (static_cast<unsigned char>(input[i]) & 0xC0) == 0x80)
          sequence.append(input[i++]);
        line.append(sequence.size() == further + 1 ? sequence : QByteArray("\xEF\xBF\xBD"));
      }
    }
    lines.append(DecodeReference(line));
  }
  return lines;
}

// Reads the bytes as folivane-pdf reads standard input when it is a pipe, cut at `limit` bytes.
// False when the pipe cannot hold them all at once.
bool ReadThroughPipe(QByteArrayView bytes, qint64 limit, folivane::SourceText& out) {
  int ends[2];
  if (::pipe(ends) != 0) return false;
  const bool fits = ::fcntl(ends[1], F_SETPIPE_SZ, 1 << 20) >= bytes.size() &&
                    ::write(ends[1], bytes.data(), static_cast<std::size_t>(bytes.size())) == bytes.size();
  ::close(ends[1]);
  const int input = ::dup(STDIN_FILENO);
  ::dup2(ends[0], STDIN_FILENO);
  ::close(ends[0]);
  folivane::IntakeOptions options;
  options.maxBytes = limit;
  const bool read = fits && folivane::ReadSourceFile("-", out, options).isEmpty();
  ::dup2(input, STDIN_FILENO);
  ::close(input);
  return read;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

  folivane::ChunkedSource whole(bytes.toByteArray());
  folivane::SourceText wholeText;
  folivane::ReadSourceLines(whole, wholeText);

  const std::uint32_t seed = size >= 4 ? static_cast<std::uint32_t>(data[0] | data[1] << 8 | data[size - 1] << 16) : 7u;
  ChunkedByteSource chunked(bytes, seed);
  folivane::SourceText chunkedText;
  folivane::ReadSourceLines(chunked, chunkedText);
  if (chunkedText.lines != wholeText.lines || chunkedText.ideVersion != wholeText.ideVersion) std::abort();

  // Through a pipe, whole and cut at half its bytes: as from memory with the same bound.
  for (const qint64 limit : {folivane::kMaxCopyBytes, static_cast<qint64>(size / 2)}) {
    folivane::SourceText piped;
    folivane::ChunkedSource again(bytes.toByteArray());
    folivane::SourceText expected;
    folivane::IntakeOptions options;
    options.maxBytes = limit;
    folivane::ReadSourceLines(again, expected, options);
    if (!ReadThroughPipe(bytes, limit, piped)) continue;
    if (piped.lines != expected.lines || piped.ideVersion != expected.ideVersion ||
        piped.cutShort != expected.cutShort || piped.cutShort != (static_cast<qint64>(size) > limit))
      std::abort();
  }

  // Every line, the options block included, read as UTF-8 against the one-byte-at-a-time rules.
  const QString utf8 = folivane::DecodeUtf8Leniently(bytes);
  folivane::LineSplitter splitter(utf8);
  QStringList allLines;
  QStringView line;
  while (splitter.Next(line)) allLines.append(line.toString());
  if (allLines != ReferenceLines(bytes)) std::abort();

  // The automatic choice decodes the whole bytes as it decoded them read in pieces. Outside
  // UTF-16 and UTF-32, every line-end byte stays one line end, so the line numbers are the IDE's.
  const qsizetype byteLines = allLines.size();
  const QString decoded = folivane::DecodeCopyText(bytes).text;
  if (decoded != wholeText.text) std::abort();
  allLines.clear();
  folivane::LineSplitter again(decoded);
  while (again.Next(line)) allLines.append(line.toString());
  const bool unicodeForm = wholeText.encoding.startsWith("UTF-16") || wholeText.encoding.startsWith("UTF-32");
  if (!unicodeForm && allLines.size() != byteLines) std::abort();

  // The kept lines are the lines before the first marker line; the version is the last marker's.
  const QStringView marker(folivane::kIdeOptionsMarker, folivane::kIdeOptionsMarkerLength);
  qsizetype firstMarker = -1;
  QString lastVersion;
  for (qsizetype k = 0; k < allLines.size(); ++k) {
    if (!allLines[k].startsWith(marker)) continue;
    if (firstMarker < 0) firstMarker = k;
    lastVersion = folivane::IdeVersionOf(allLines[k]);
  }
  const QStringList expectedLines = firstMarker < 0 ? allLines : allLines.first(firstMarker);
  if (wholeText.lines != expectedLines || wholeText.ideVersion != lastVersion) std::abort();
  return 0;
}
