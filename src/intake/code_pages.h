// Code pages: what a detector's answer means, and bytes decoded in a code page.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <memory>

struct UConverter;

namespace folivane {

// The code page taken when the detector is unsure or names one that no converter knows.
inline constexpr char kFallbackCodePage[] = "windows-1252";

// The code page to decode with when the detector answered `answer` (its own name, in any letter
// case). Where a Windows code page is a superset of the answer it is taken, as browsers do
// (ISO-8859-1 gives Windows-1252, TIS-620 Windows-874, EUC-KR Windows-949, GB2312 GB18030); where
// it differs from the ISO page in a few letters only, it is taken when `usesC1Bytes` tells that
// bytes 80 to 9F occur, which the ISO page leaves to invisible controls. No answer, or UTF-8 (for
// bytes that are not UTF-8 throughout), gives the fallback.
QByteArray CodePageForAnswer(QByteArrayView answer, bool usesC1Bytes);

// A code page opened for decoding: a table for single-byte pages, a converter for the others.
class CodePage {
 public:
  enum class Kind {
    SingleByte,  // every byte one character
    MultiByte,   // legacy pages of one to four bytes a character; LF, CR and NUL are never part of one
    Unicode,     // UTF-16 and UTF-32, whose line ends are not single bytes
  };

  // Null when no converter knows the name.
  static std::unique_ptr<CodePage> Open(QByteArrayView name);
  ~CodePage();
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

  Kind kind() const { return kind_; }
  const QByteArray& name() const { return name_; }

  // For a single-byte page, the character of a byte; U+FFFD for a byte the page leaves undefined
  // and for one it maps to a C1 control, which would print as nothing.
  QChar CharacterOf(unsigned char byte) const { return table_[byte]; }

  // Every byte decoded. In legacy pages each LF, CR and NUL byte gives exactly that line end, a C1
  // control gives U+FFFD, and the text of a single-byte page comes composed (NFC), as Windows-1258
  // stores tone marks as combining characters.
  QString Decode(QByteArrayView bytes) const;

 private:
  CodePage() = default;
  QString DecodeLines(QByteArrayView bytes) const;

  Kind kind_ = Kind::SingleByte;
  QByteArray name_;
  UConverter* converter_ = nullptr;
  std::array<QChar, 256> table_{};
  // The byte order of UCS-4 in the unusual orders 3412 and 2143, turned into big-endian first.
  std::array<int, 4> ucs4Order_{0, 1, 2, 3};
};

}  // namespace folivane
