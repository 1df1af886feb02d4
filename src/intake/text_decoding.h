// Text decoding of the copy: UTF-8 when the bytes are UTF-8, else the legacy code page they were saved in.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace folivane {

// The UTF-8 byte-order mark, which the settings file starts with and a copy may start with.
inline constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

// The encoding that picks itself from the bytes; "utf-8" forces UTF-8, any other name a code page.
inline constexpr char kAutomaticEncoding[] = "auto";

struct DecodedText {
  QString text;
  QByteArray encoding;  // "UTF-8" or the code page's name, as asked for or detected
};

// UTF-8 sequence by sequence: a lead byte C0 to F7 announces 1 to 3 further bytes, and a
// sequence that ends early, at the first byte outside 80 to BF or at the end of the bytes,
// yields one U+FFFD, the byte that broke it starting the next sequence; so LF, CR and NUL always
// stay line ends. A byte 80 to BF or F8 to FF that starts a sequence becomes "?". A leading
// byte-order mark is kept as U+FEFF. Counts the well-formed multi-byte sequences and
// the broken ones (stray bytes, sequences ended early, ill-formed ones) when asked.
QString DecodeUtf8Leniently(QByteArrayView bytes, qsizetype* wellFormed = nullptr,
                            qsizetype* broken = nullptr);

// With "auto": a copy that starts with a byte-order mark, is well-formed UTF-8 throughout, or
// holds more well-formed multi-byte sequences than broken ones is UTF-8 (decoded leniently);
// any other was saved in a legacy code page, found by a detector among the Windows and ISO
// single-byte code pages, GB18030, Big5, Shift_JIS, EUC-JP, EUC-KR and KOI8-R, Windows-1252 when
// the detector is unsure. "utf-8" decodes leniently as UTF-8; any other name decodes every byte
// in that code page, undefined bytes giving U+FFFD. An unknown name decodes as "auto".
DecodedText DecodeCopyText(QByteArrayView bytes, QByteArrayView encoding = kAutomaticEncoding);

// The automatic choice for bytes known not to be well-formed UTF-8 throughout.
DecodedText DecodeIllFormedCopyText(QByteArrayView bytes);

// True for "auto", "utf-8" and every code page name the converter knows (letter case aside).
bool IsKnownEncoding(QByteArrayView name);

}  // namespace folivane
