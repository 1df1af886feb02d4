// Text decoding of the copy: UTF-8 when the bytes are UTF-8, else the legacy code page they were saved in.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>

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
// byte-order mark is kept as U+FEFF.
QString DecodeUtf8Leniently(QByteArrayView bytes);

// With "auto": a copy that starts with the UTF-8 byte-order mark or is well-formed UTF-8
// throughout is UTF-8 (decoded leniently); any other goes through DecodeIllFormedCopyText.
// "utf-8" decodes leniently as UTF-8; any other name decodes every byte in that code page,
// undefined bytes giving U+FFFD. An unknown name decodes as "auto".
DecodedText DecodeCopyText(QByteArrayView bytes, QByteArrayView encoding = kAutomaticEncoding);

// The name of the code page that bytes were most likely saved in, in the detector's own words
// ("WINDOWS-1251", "UHC", "TIS-620", ...), or empty when it is unsure.
using CharsetDetector = std::function<QByteArray(QByteArrayView bytes)>;

// uchardet's answer for (the first megabytes of) the bytes.
QByteArray DetectCharset(QByteArrayView bytes);

// The automatic choice for bytes known not to be well-formed UTF-8 throughout. A UTF-16 or UTF-32
// byte-order mark decides alone (the mark is dropped), as does the UTF-8 one. Otherwise `detect`
// names the code page from the lines that are not UTF-8. In a single-byte page each line is decoded
// on its own: a line of valid UTF-8 as UTF-8; a line with at least as many well-formed multi-byte
// sequences as broken ones as UTF-8 with each stray byte a character of the page; any other line
// in the page. A multi-byte page, where valid UTF-8 comes about by chance, decodes every line,
// unless the valid lines hold more well-formed multi-byte sequences than the others hold broken
// ones: then only the others. Line ends stay as they are, one for one.
DecodedText DecodeIllFormedCopyText(QByteArrayView bytes, const CharsetDetector& detect = DetectCharset);

// True for "auto", "utf-8" and every code page name the converter knows (letter case aside).
bool IsKnownEncoding(QByteArrayView name);

}  // namespace folivane
