#include "intake/text_decoding.h"

#include <QStringDecoder>
#include <algorithm>
#include <uchardet.h>

#include "intake/code_pages.h"

namespace folivane {

namespace {

constexpr char kUtf8Name[] = "UTF-8";
// What the detector sees of a large copy: plenty to tell code pages apart, and quick.
constexpr qsizetype kDetectorSample = 4 * 1024 * 1024;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The further bytes that a lead byte announces; 0 for ASCII, -1 for a byte that starts nothing.
int FurtherBytes(unsigned char lead) {
  if (lead < 0x80) return 0;
  if (lead < 0xC0 || lead > 0xF7) return -1;
  return lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
}

// Whether a complete sequence (lead and its further bytes) is UTF-8 as the standard has it:
// no overlong form, no surrogate, nothing beyond U+10FFFF.
bool IsWellFormed(const unsigned char* sequence, int further) {
  const unsigned char lead = sequence[0];
  const unsigned char second = sequence[1];
  switch (further) {
    case 1: return lead >= 0xC2;
    case 2:
      if (lead == 0xE0) return second >= 0xA0;
      if (lead == 0xED) return second <= 0x9F;
      return true;
    default:
      if (lead == 0xF0) return second >= 0x90;
      if (lead == 0xF4) return second <= 0x8F;
      return lead < 0xF4;
  }
}

enum class Piece {
  Plain,       // a run of ASCII bytes
  WellFormed,  // one multi-byte sequence
  Stray,       // a byte 80 to BF or F8 to FF that starts nothing
  CutShort,    // a lead byte and the further bytes it got before a byte that is none
  IllFormed,   // a complete sequence that is overlong, a surrogate or beyond U+10FFFF
};

// Hands the bytes to `take(piece, bytes)` as the UTF-8 sequence rules cut them.
template <typename Take>
void WalkUtf8(QByteArrayView bytes, Take take) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const qsizetype size = bytes.size();
  qsizetype i = 0;
  while (i < size) {
    const qsizetype plainStart = i;
    while (i < size && data[i] < 0x80) ++i;
    if (i > plainStart) take(Piece::Plain, bytes.sliced(plainStart, i - plainStart));
    if (i == size) break;
    const int further = FurtherBytes(data[i]);
    if (further < 0) {
      take(Piece::Stray, bytes.sliced(i, 1));
      ++i;
      continue;
    }
    int taken = 0;
    while (taken < further && i + 1 + taken < size && IsContinuation(data[i + 1 + taken])) ++taken;
    const Piece piece = taken < further                   ? Piece::CutShort
                        : IsWellFormed(data + i, further) ? Piece::WellFormed
                                                          : Piece::IllFormed;
    take(piece, bytes.sliced(i, 1 + taken));
    i += 1 + taken;
  }
}

QString DecodeUtf8KeepingByteOrderMark(QByteArrayView bytes, bool* hadError = nullptr) {
  QStringDecoder decoder(QStringDecoder::Utf8,
                         QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
  QString text = decoder.decode(bytes);
  if (hadError) *hadError = decoder.hasError();
  return text;
}

DecodedText DecodeInCodePage(QByteArrayView bytes, const QByteArray& name) {
  if (const auto page = CodePage::Open(name)) return {page->Decode(bytes), name};
  return {DecodeUtf8Leniently(bytes), kUtf8Name};
}

bool NamesUtf8(QByteArrayView name) {
  const QByteArray folded = name.toByteArray().toLower();
  return folded == "utf-8" || folded == "utf8";
}

bool EndsLine(char byte) { return byte == '\n' || byte == '\r' || byte == '\0'; }

// Hands each line of the bytes, without its terminator, to `take(line)`, and each line end
// byte to `end(byte)`.
template <typename Take, typename End>
void ForEachLine(QByteArrayView bytes, Take take, End end) {
  qsizetype start = 0;
  while (start < bytes.size()) {
    qsizetype stop = start;
    while (stop < bytes.size() && !EndsLine(bytes[stop])) ++stop;
    take(bytes.sliced(start, stop - start));
    if (stop < bytes.size()) end(bytes[stop]);
    start = stop + 1;
  }
}

struct LineCount {
  qsizetype wellFormed = 0;  // multi-byte sequences
  qsizetype broken = 0;
  bool brokenC1 = false;  // a byte 80 to 9F outside the well-formed sequences
};

LineCount CountSequences(QByteArrayView line) {
  LineCount count;
  WalkUtf8(line, [&](Piece piece, QByteArrayView bytes) {
    if (piece == Piece::Plain) return;
    if (piece == Piece::WellFormed) {
      ++count.wellFormed;
      return;
    }
    ++count.broken;
    for (const char byte : bytes) count.brokenC1 = count.brokenC1 || (uchar(byte) >= 0x80 && uchar(byte) <= 0x9F);
  });
  return count;
}

struct UnicodeForm {
  const char* name;
  qsizetype markLength;
};

// UTF-16 and UTF-32 as Windows Notepad and others save them, told by their byte-order mark.
UnicodeForm UnicodeFormByByteOrderMark(QByteArrayView bytes) {
  if (bytes.startsWith(QByteArrayView("\xFF\xFE\x00\x00", 4))) return {"UTF-32LE", 4};
  if (bytes.startsWith(QByteArrayView("\x00\x00\xFE\xFF", 4))) return {"UTF-32BE", 4};
  if (bytes.startsWith("\xFF\xFE")) return {"UTF-16LE", 2};
  if (bytes.startsWith("\xFE\xFF")) return {"UTF-16BE", 2};
  return {nullptr, 0};
}

// A line that holds valid UTF-8 beside stray bytes: the sequences as UTF-8, every byte that
// belongs to none the page's character.
void AppendMixedLine(QString& text, QByteArrayView line, const CodePage& page) {
  WalkUtf8(line, [&](Piece piece, QByteArrayView bytes) {
    if (piece == Piece::Plain) {
      text += QLatin1StringView(bytes);
    } else if (piece == Piece::WellFormed) {
      text += DecodeUtf8KeepingByteOrderMark(bytes);
    } else {
      for (const char byte : bytes) text += page.CharacterOf(uchar(byte));
    }
  });
}

// Line by line: a line of valid UTF-8 as UTF-8, any other in the page; in a single-byte page, a
// line with at least as many well-formed multi-byte sequences as broken ones is UTF-8 with stray
// bytes, each of which is a character of the page.
DecodedText DecodeLinesBesideUtf8(QByteArrayView bytes, const CodePage& page) {
  QString text;
  text.reserve(bytes.size());
  ForEachLine(
      bytes,
      [&](QByteArrayView line) {
        const LineCount count = CountSequences(line);
        if (count.broken == 0) {
          text += DecodeUtf8KeepingByteOrderMark(line);
        } else if (page.kind() == CodePage::Kind::SingleByte && count.wellFormed >= count.broken) {
          AppendMixedLine(text, line, page);
        } else {
          text += page.Decode(line);
        }
      },
      [&](char end) { text += QLatin1Char(end); });
  return {std::move(text), page.name()};
}

}  // namespace

QString DecodeUtf8Leniently(QByteArrayView bytes) {
  static constexpr char kReplacement[] = "\xEF\xBF\xBD";
  // The bytes rewritten so that the standard decoder sees only what the sequence rules leave.
  QByteArray mended;
  mended.reserve(bytes.size() + bytes.size() / 8);
  WalkUtf8(bytes, [&](Piece piece, QByteArrayView sequence) {
    if (piece == Piece::Stray) {
      mended.append('?');
    } else if (piece == Piece::CutShort) {
      mended.append(kReplacement, 3);
    } else {
      mended.append(sequence);
    }
  });
  return DecodeUtf8KeepingByteOrderMark(mended);
}

DecodedText DecodeCopyText(QByteArrayView bytes, QByteArrayView encoding) {
  if (NamesUtf8(encoding)) return {DecodeUtf8Leniently(bytes), kUtf8Name};
  if (encoding != QByteArrayView(kAutomaticEncoding) && IsKnownEncoding(encoding))
    return DecodeInCodePage(bytes, encoding.toByteArray());

  // Well-formed UTF-8, by far the common case, takes the standard decoder alone.
  bool hadError = false;
  QString text = DecodeUtf8KeepingByteOrderMark(bytes, &hadError);
  if (!hadError) return {std::move(text), kUtf8Name};
  text = QString();
  return DecodeIllFormedCopyText(bytes);
}

QByteArray DetectCharset(QByteArrayView bytes) {
  QByteArray detected;
  if (uchardet_t detector = uchardet_new()) {
    const QByteArrayView sample = bytes.first(std::min(bytes.size(), kDetectorSample));
    if (uchardet_handle_data(detector, sample.data(), static_cast<size_t>(sample.size())) == 0) {
      uchardet_data_end(detector);
      detected = QByteArray(uchardet_get_charset(detector));
    }
    uchardet_delete(detector);
  }
  return detected;
}

DecodedText DecodeIllFormedCopyText(QByteArrayView bytes, const CharsetDetector& detect) {
  if (bytes.startsWith(kUtf8ByteOrderMark)) return {DecodeUtf8Leniently(bytes), kUtf8Name};
  if (const UnicodeForm form = UnicodeFormByByteOrderMark(bytes); form.name)
    return DecodeInCodePage(bytes.sliced(form.markLength), form.name);

  // The detector hears only the lines that are not UTF-8: the others would only blur its answer.
  QByteArray suspect;
  bool usesC1Bytes = false;
  qsizetype validSequences = 0;   // well-formed multi-byte sequences in lines of valid UTF-8
  qsizetype brokenSequences = 0;  // broken ones in the other lines
  ForEachLine(
      bytes,
      [&](QByteArrayView line) {
        const LineCount count = CountSequences(line);
        if (count.broken == 0) {
          validSequences += count.wellFormed;
          return;
        }
        brokenSequences += count.broken;
        if (suspect.size() >= kDetectorSample) return;
        suspect += line;
        suspect += '\n';
        usesC1Bytes = usesC1Bytes || count.brokenC1;
      },
      [](char) {});
  std::unique_ptr<CodePage> page = CodePage::Open(CodePageForAnswer(detect(suspect), usesC1Bytes));
  if (!page) page = CodePage::Open(kFallbackCodePage);
  // In a multi-byte page valid UTF-8 comes about by chance, but only in a line here and there: a
  // copy whose valid lines outweigh the broken sequences of the others is UTF-8 with a line or
  // two pasted in from elsewhere.
  const bool linesBesideUtf8 = page->kind() == CodePage::Kind::SingleByte ||
                               (page->kind() == CodePage::Kind::MultiByte && validSequences > brokenSequences);
  if (linesBesideUtf8) return DecodeLinesBesideUtf8(bytes, *page);
  return {page->Decode(bytes), page->name()};
}

bool IsKnownEncoding(QByteArrayView name) {
  if (name.isEmpty()) return false;
  if (name == QByteArrayView(kAutomaticEncoding) || NamesUtf8(name)) return true;
  return CodePage::Open(name) != nullptr;
}

}  // namespace folivane
