#include "intake/code_pages.h"

#include <algorithm>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

namespace folivane {

namespace {

struct NamePair {
  const char* from;
  const char* to;
};

// Windows code pages that decode every text of the ISO (or national) page alike, and more.
constexpr NamePair kSupersets[] = {
    {"ASCII", "windows-1252"},  {"ISO-8859-1", "windows-1252"}, {"ISO-8859-9", "windows-1254"},
    {"TIS-620", "windows-874"}, {"ISO-8859-11", "windows-874"}, {"EUC-KR", "windows-949"},
    {"UHC", "windows-949"},     {"GB2312", "GB18030"},          {"GBK", "GB18030"},
};

// Windows code pages that share nearly all letters with the ISO page but put more of them, and
// the typographic quotes and dashes, at 80 to 9F.
constexpr NamePair kWindowsSiblings[] = {
    {"ISO-8859-2", "windows-1250"},  {"ISO-8859-7", "windows-1253"},  {"ISO-8859-8", "windows-1255"},
    {"ISO-8859-13", "windows-1257"}, {"ISO-8859-15", "windows-1252"},
};

const char* Lookup(const NamePair* begin, const NamePair* end, const QByteArray& name) {
  const NamePair* found = std::find_if(begin, end, [&](const NamePair& pair) { return name == pair.from; });
  return found == end ? nullptr : found->to;
}

// Two single-byte pages that uchardet names but ICU does not ship, written out here from their
// standards (RFC 1456; ISO/IEC 8859-16). VISCII also puts six capitals on control codes.
constexpr char16_t kVisciiHigh[128] = {
    0x1EA0, 0x1EAE, 0x1EB0, 0x1EB6, 0x1EA4, 0x1EA6, 0x1EA8, 0x1EAC, 0x1EBC, 0x1EB8, 0x1EBE, 0x1EC0, 0x1EC2,
    0x1EC4, 0x1EC6, 0x1ED0, 0x1ED2, 0x1ED4, 0x1ED6, 0x1ED8, 0x1EE2, 0x1EDA, 0x1EDC, 0x1EDE, 0x1ECA, 0x1ECE,
    0x1ECC, 0x1EC8, 0x1EE6, 0x0168, 0x1EE4, 0x1EF2, 0x00D5, 0x1EAF, 0x1EB1, 0x1EB7, 0x1EA5, 0x1EA7, 0x1EA9,
    0x1EAD, 0x1EBD, 0x1EB9, 0x1EBF, 0x1EC1, 0x1EC3, 0x1EC5, 0x1EC7, 0x1ED1, 0x1ED3, 0x1ED5, 0x1ED7, 0x1EE0,
    0x01A0, 0x1ED9, 0x1EDD, 0x1EDF, 0x1ECB, 0x1EF0, 0x1EE8, 0x1EEA, 0x1EEC, 0x01A1, 0x1EDB, 0x01AF, 0x00C0,
    0x00C1, 0x00C2, 0x00C3, 0x1EA2, 0x0102, 0x1EB3, 0x1EB5, 0x00C8, 0x00C9, 0x00CA, 0x1EBA, 0x00CC, 0x00CD,
    0x0128, 0x1EF3, 0x0110, 0x1EE9, 0x00D2, 0x00D3, 0x00D4, 0x1EA1, 0x1EF7, 0x1EEB, 0x1EED, 0x00D9, 0x00DA,
    0x1EF9, 0x1EF5, 0x00DD, 0x1EE1, 0x01B0, 0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x1EA3, 0x0103, 0x1EEF, 0x1EAB,
    0x00E8, 0x00E9, 0x00EA, 0x1EBB, 0x00EC, 0x00ED, 0x0129, 0x1EC9, 0x0111, 0x1EF1, 0x00F2, 0x00F3, 0x00F4,
    0x00F5, 0x1ECF, 0x1ECD, 0x1EE5, 0x00F9, 0x00FA, 0x0169, 0x1EE7, 0x00FD, 0x1EE3, 0x1EEE};
constexpr struct {
  unsigned char byte;
  char16_t character;
} kVisciiControls[] = {{0x02, 0x1EB2}, {0x05, 0x1EB4}, {0x06, 0x1EAA}, {0x14, 0x1EF6}, {0x19, 0x1EF8}, {0x1E, 0x1EF4}};
constexpr char16_t kIso8859_16High[96] = {
    0x00A0, 0x0104, 0x0105, 0x0141, 0x20AC, 0x201E, 0x0160, 0x00A7, 0x0161, 0x00A9, 0x0218, 0x00AB, 0x0179, 0x00AD,
    0x017A, 0x017B, 0x00B0, 0x00B1, 0x010C, 0x0142, 0x017D, 0x201D, 0x00B6, 0x00B7, 0x017E, 0x010D, 0x0219, 0x00BB,
    0x0152, 0x0153, 0x0178, 0x017C, 0x00C0, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0106, 0x00C6, 0x00C7, 0x00C8, 0x00C9,
    0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF, 0x0110, 0x0143, 0x00D2, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x015A,
    0x0170, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x0118, 0x021A, 0x00DF, 0x00E0, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x0107,
    0x00E6, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF, 0x0111, 0x0144, 0x00F2, 0x00F3,
    0x00F4, 0x0151, 0x00F6, 0x015B, 0x0171, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x0119, 0x021B, 0x00FF};

bool IsC1Control(char16_t unit) { return unit >= 0x80 && unit <= 0x9F; }

// Bytes that the code page leaves undefined become U+FFFD; ICU's own substitute is U+001A for
// some code pages, which would print as nothing at all.
void SubstituteReplacementCharacter(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                                    UConverterCallbackReason reason, UErrorCode* status) {
  if (reason > UCNV_IRREGULAR) return;
  *status = U_ZERO_ERROR;
  const UChar replacement = 0xFFFD;
  ucnv_cbToUWriteUChars(args, &replacement, 1, 0, status);
}

// The bytes through the converter, from its initial state; empty when it fails.
QString Convert(UConverter* converter, QByteArrayView bytes) {
  // Most pages give no more UTF-16 units than they have bytes; a longer result is measured first.
  QString text(bytes.size() + 1, Qt::Uninitialized);
  for (int attempt = 0; attempt < 2; ++attempt) {
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        ucnv_toUChars(converter, reinterpret_cast<UChar*>(text.data()), static_cast<int32_t>(text.size()), bytes.data(),
                      static_cast<int32_t>(bytes.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      text.resize(qsizetype(length) + 1);
      continue;
    }
    if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) return QString();
    text.truncate(length);
    return text;
  }
  return QString();
}

bool EndsLine(char byte) { return byte == '\n' || byte == '\r' || byte == '\0'; }

}  // namespace

QByteArray CodePageForAnswer(QByteArrayView answer, bool usesC1Bytes) {
  const QByteArray name = answer.toByteArray().toUpper();
  // UTF-8 heard in lines that are not UTF-8 throughout: their stray bytes come from elsewhere.
  if (name.isEmpty() || name == "UTF-8") return kFallbackCodePage;
  if (const char* superset = Lookup(std::begin(kSupersets), std::end(kSupersets), name)) return superset;
  if (const char* sibling = Lookup(std::begin(kWindowsSiblings), std::end(kWindowsSiblings), name))
    return usesC1Bytes ? QByteArray(sibling) : name;
  return name;
}

std::unique_ptr<CodePage> CodePage::Open(QByteArrayView name) {
  std::unique_ptr<CodePage> page(new CodePage);
  page->name_ = name.toByteArray();
  const QByteArray upper = page->name_.toUpper();
  if (upper == "VISCII" || upper == "ISO-8859-16") {
    for (int byte = 0; byte < 256; ++byte) page->table_[byte] = QChar(char16_t(byte));
    if (upper == "VISCII") {
      for (int byte = 0x80; byte < 256; ++byte) page->table_[byte] = QChar(kVisciiHigh[byte - 0x80]);
      for (const auto& control : kVisciiControls) page->table_[control.byte] = QChar(control.character);
    } else {
      for (int byte = 0xA0; byte < 256; ++byte) page->table_[byte] = QChar(kIso8859_16High[byte - 0xA0]);
    }
    for (QChar& character : page->table_)
      if (IsC1Control(character.unicode())) character = QChar::ReplacementCharacter;
    return page;
  }
  // UCS-4 in the orders 3412 and 2143, which ICU does not know, is UTF-32BE once its bytes are swapped.
  QByteArray converterName = page->name_;
  if (upper == "X-ISO-10646-UCS-4-3412" || upper == "X-ISO-10646-UCS-4-2143") {
    page->ucs4Order_ = upper.endsWith("3412") ? std::array<int, 4>{2, 3, 0, 1} : std::array<int, 4>{1, 0, 3, 2};
    converterName = "UTF-32BE";
  }
  UErrorCode status = U_ZERO_ERROR;
  page->converter_ = ucnv_open(converterName.constData(), &status);
  if (U_FAILURE(status) || !page->converter_) {
    page->converter_ = nullptr;
    return nullptr;
  }
  status = U_ZERO_ERROR;
  ucnv_setToUCallBack(page->converter_, SubstituteReplacementCharacter, nullptr, nullptr, nullptr, &status);
  switch (ucnv_getType(page->converter_)) {
    case UCNV_UTF16:
    case UCNV_UTF16_BigEndian:
    case UCNV_UTF16_LittleEndian:
    case UCNV_UTF32:
    case UCNV_UTF32_BigEndian:
    case UCNV_UTF32_LittleEndian:
    case UCNV_UTF7:
    case UCNV_UTF8:
    case UCNV_CESU8:
    case UCNV_BOCU1:
    case UCNV_SCSU:
    case UCNV_IMAP_MAILBOX: page->kind_ = Kind::Unicode; return page;
    default: break;
  }
  if (ucnv_getMaxCharSize(page->converter_) > 1) {
    page->kind_ = Kind::MultiByte;
    return page;
  }
  for (int byte = 0; byte < 256; ++byte) {
    const char single = char(byte);
    const QString character = Convert(page->converter_, QByteArrayView(&single, 1));
    const bool usable = character.size() == 1 && !IsC1Control(character.front().unicode());
    page->table_[byte] = usable ? character.front() : QChar(QChar::ReplacementCharacter);
  }
  // A NUL stays a line end, whatever the page's own substitute for it.
  page->table_[0] = QChar(u'\0');
  return page;
}

CodePage::~CodePage() {
  if (converter_) ucnv_close(converter_);
}

QString CodePage::Decode(QByteArrayView bytes) const {
  switch (kind_) {
    case Kind::SingleByte: {
      QString text(bytes.size(), Qt::Uninitialized);
      QChar* out = text.data();
      for (const char byte : bytes) *out++ = table_[uchar(byte)];
      return text.normalized(QString::NormalizationForm_C);
    }
    case Kind::MultiByte: return DecodeLines(bytes);
    case Kind::Unicode: break;
  }
  if (ucs4Order_ == std::array<int, 4>{0, 1, 2, 3}) return Convert(converter_, bytes);
  QByteArray ordered = bytes.toByteArray();
  for (qsizetype i = 0; i + 4 <= ordered.size(); i += 4)
    for (int k = 0; k < 4; ++k) ordered[i + k] = bytes[i + ucs4Order_[k]];
  return Convert(converter_, ordered);
}

// Line by line, the converter starting afresh on each line, so that a byte that starts a
// character (or a shift into another character set) can never take a line end with it.
QString CodePage::DecodeLines(QByteArrayView bytes) const {
  QString text;
  text.reserve(bytes.size());
  qsizetype start = 0;
  while (start < bytes.size()) {
    qsizetype end = start;
    while (end < bytes.size() && !EndsLine(bytes[end])) ++end;
    if (end > start) {
      QString line = Convert(converter_, bytes.sliced(start, end - start));
      for (QChar& character : line)
        if (IsC1Control(character.unicode())) character = QChar::ReplacementCharacter;
      text += line;
    }
    if (end < bytes.size()) text += QChar(char16_t(uchar(bytes[end])));
    start = end + 1;
  }
  return text;
}

}  // namespace folivane
