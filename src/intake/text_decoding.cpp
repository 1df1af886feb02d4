#include "intake/text_decoding.h"

#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <memory>
#include <uchardet.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

namespace folivane {

namespace {

constexpr char kUtf8Name[] = "UTF-8";
constexpr char kFallbackCodePage[] = "windows-1252";
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

QString DecodeUtf8KeepingByteOrderMark(QByteArrayView bytes, bool* hadError = nullptr) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless |
                                                   QStringConverter::Flag::ConvertInitialBom);
  QString text = decoder.decode(bytes);
  if (hadError) *hadError = decoder.hasError();
  return text;
}

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter OpenConverter(QByteArrayView name) {
  UErrorCode status = U_ZERO_ERROR;
  Converter converter(ucnv_open(name.toByteArray().constData(), &status));
  if (U_FAILURE(status)) converter.reset();
  return converter;
}

// Bytes that the code page leaves undefined become U+FFFD; ICU's own substitute is U+001A for
// some single-byte code pages, which would print as nothing at all.
void SubstituteReplacementCharacter(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                                    UConverterCallbackReason reason, UErrorCode* status) {
  if (reason > UCNV_IRREGULAR) return;
  *status = U_ZERO_ERROR;
  const UChar replacement = 0xFFFD;
  ucnv_cbToUWriteUChars(args, &replacement, 1, 0, status);
}

// Every byte in the code page; empty when the converter fails.
QString DecodeCodePage(QByteArrayView bytes, UConverter* converter) {
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setToUCallBack(converter, SubstituteReplacementCharacter, nullptr, nullptr, nullptr, &status);
  // No code page accepted here gives more UTF-16 units than it has bytes.
  QString text(bytes.size() + 1, Qt::Uninitialized);
  status = U_ZERO_ERROR;
  const int32_t length = ucnv_toUChars(converter, reinterpret_cast<UChar*>(text.data()),
                                       static_cast<int32_t>(text.size()), bytes.data(),
                                       static_cast<int32_t>(bytes.size()), &status);
  if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) return QString();
  text.truncate(length);
  return text;
}

bool IsAcceptedDetection(const QByteArray& name) {
  static constexpr std::array<const char*, 8> kMultiByte = {"GB18030", "GBK",    "BIG5",   "SHIFT_JIS",
                                                            "EUC-JP",  "EUC-KR", "KOI8-R", "GB2312"};
  if (name.startsWith("WINDOWS-") || name.startsWith("ISO-8859-")) return true;
  return std::any_of(kMultiByte.begin(), kMultiByte.end(), [&](const char* accepted) { return name == accepted; });
}

// The legacy code page the bytes were most likely saved in.
QByteArray DetectCodePage(QByteArrayView bytes) {
  QByteArray detected;
  if (uchardet_t detector = uchardet_new()) {
    const QByteArrayView sample = bytes.first(std::min(bytes.size(), kDetectorSample));
    if (uchardet_handle_data(detector, sample.data(), static_cast<size_t>(sample.size())) == 0) {
      uchardet_data_end(detector);
      detected = QByteArray(uchardet_get_charset(detector)).toUpper();
    }
    uchardet_delete(detector);
  }
  // GB2312 is a subset of GB18030, which also decodes what GBK adds.
  if (detected == "GB2312" || detected == "GBK") detected = "GB18030";
  return IsAcceptedDetection(detected) ? detected : QByteArray(kFallbackCodePage);
}

DecodedText DecodeInCodePage(QByteArrayView bytes, const QByteArray& name) {
  if (Converter converter = OpenConverter(name)) return {DecodeCodePage(bytes, converter.get()), name};
  return {DecodeUtf8Leniently(bytes), kUtf8Name};
}

bool NamesUtf8(QByteArrayView name) {
  const QByteArray folded = name.toByteArray().toLower();
  return folded == "utf-8" || folded == "utf8";
}

}  // namespace

QString DecodeUtf8Leniently(QByteArrayView bytes, qsizetype* wellFormed, qsizetype* broken) {
  static constexpr char kReplacement[] = "\xEF\xBF\xBD";
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const qsizetype size = bytes.size();
  qsizetype good = 0;
  qsizetype bad = 0;
  // The bytes rewritten so that the standard decoder sees only what the sequence rules leave.
  QByteArray mended;
  mended.reserve(size + size / 8);
  qsizetype i = 0;
  while (i < size) {
    const qsizetype plainStart = i;
    while (i < size && data[i] < 0x80) ++i;
    mended.append(bytes.sliced(plainStart, i - plainStart));
    if (i == size) break;
    const int further = FurtherBytes(data[i]);
    if (further < 0) {
      mended.append('?');
      ++bad;
      ++i;
      continue;
    }
    int taken = 0;
    while (taken < further && i + 1 + taken < size && IsContinuation(data[i + 1 + taken])) ++taken;
    if (taken < further) {
      mended.append(kReplacement, 3);
      ++bad;
    } else {
      mended.append(bytes.sliced(i, 1 + further));
      ++(IsWellFormed(data + i, further) ? good : bad);
    }
    i += 1 + taken;
  }
  if (wellFormed) *wellFormed = good;
  if (broken) *broken = bad;
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

DecodedText DecodeIllFormedCopyText(QByteArrayView bytes) {
  QString text;
  qsizetype wellFormed = 0;
  qsizetype broken = 0;
  text = DecodeUtf8Leniently(bytes, &wellFormed, &broken);
  if (broken == 0 || wellFormed > broken || bytes.startsWith(kUtf8ByteOrderMark)) return {std::move(text), kUtf8Name};
  text = QString();
  return DecodeInCodePage(bytes, DetectCodePage(bytes));
}

bool IsKnownEncoding(QByteArrayView name) {
  if (name.isEmpty()) return false;
  if (name == QByteArrayView(kAutomaticEncoding) || NamesUtf8(name)) return true;
  return OpenConverter(name) != nullptr;
}

}  // namespace folivane
