// The automatic choice of encoding for copies that are not UTF-8 throughout: the detector's answer
// taken to the right code page, valid UTF-8 kept, Unicode by byte-order mark, line ends kept.
#include <gtest/gtest.h>

#include <QFile>

#include "intake/code_pages.h"
#include "intake/line_reader.h"
#include "intake/text_decoding.h"

namespace folivane {
namespace {

QByteArray Bytes(const char* text) { return QByteArray(text); }
QString Text(const char16_t* text) { return QString::fromUtf16(text); }

CharsetDetector Answering(const char* answer) {
  return [answer](QByteArrayView) { return QByteArray(answer); };
}

QStringList Lines(const QString& text) {
  QStringList lines;
  LineSplitter splitter(text);
  QStringView line;
  while (splitter.Next(line)) lines.append(line.toString());
  return lines;
}

// The names uchardet 0.0.7 answers with (its probers' and its byte-order marks'), and the two UCS-4
// orders that other versions name.
constexpr const char* kDetectorAnswers[] = {
    "ASCII",
    "UTF-8",
    "UTF-16",
    "UTF-32",
    "X-ISO-10646-UCS-4-3412",
    "X-ISO-10646-UCS-4-2143",
    "BIG5",
    "EUC-JP",
    "EUC-KR",
    "EUC-TW",
    "GB18030",
    "HZ-GB-2312",
    "IBM852",
    "IBM855",
    "IBM866",
    "ISO-2022-CN",
    "ISO-2022-JP",
    "ISO-2022-KR",
    "ISO-8859-1",
    "ISO-8859-2",
    "ISO-8859-3",
    "ISO-8859-4",
    "ISO-8859-5",
    "ISO-8859-6",
    "ISO-8859-7",
    "ISO-8859-8",
    "ISO-8859-9",
    "ISO-8859-10",
    "ISO-8859-11",
    "ISO-8859-13",
    "ISO-8859-15",
    "ISO-8859-16",
    "KOI8-R",
    "MAC-CENTRALEUROPE",
    "MAC-CYRILLIC",
    "SHIFT_JIS",
    "TIS-620",
    "UHC",
    "VISCII",
    "WINDOWS-1250",
    "WINDOWS-1251",
    "WINDOWS-1252",
    "WINDOWS-1253",
    "WINDOWS-1254",
    "WINDOWS-1255",
    "WINDOWS-1256",
    "WINDOWS-1257",
    "WINDOWS-1258",
};

TEST(CodePageChoice, EveryDetectorAnswerReachesAConverter) {
  const QByteArray bytes = Bytes("; \xC1\xE2\xF3\xB1\xA4\xA1\n\xB0\nx\r\n");
  for (const char* answer : kDetectorAnswers) {
    SCOPED_TRACE(answer);
    const DecodedText decoded = DecodeIllFormedCopyText(bytes, Answering(answer));
    const bool latin = QByteArrayView(answer) == "ASCII" || QByteArrayView(answer) == "UTF-8" ||
                       QByteArrayView(answer) == "ISO-8859-1";
    EXPECT_EQ(decoded.encoding == kFallbackCodePage, latin) << decoded.encoding.constData();
    const auto page = CodePage::Open(decoded.encoding);
    ASSERT_TRUE(page);
    if (page->kind() == CodePage::Kind::Unicode) continue;
    EXPECT_EQ(Lines(decoded.text).size(), 3);
    for (const QChar character : decoded.text) {
      EXPECT_FALSE(character.unicode() >= 0x80 && character.unicode() <= 0x9F) << int(character.unicode());
      EXPECT_NE(character.unicode(), 0x1A);
    }
  }
}

// Where a Windows code page decodes what the answer's page does and more, or the bytes use 80 to
// 9F, the Windows page is meant; a byte no page defines never prints as nothing.
TEST(CodePageChoice, AnswersTakenToThePageMeant) {
  const struct {
    const char* answer;
    QByteArray bytes;
    QString text;
  } cases[] = {
      {"", Bytes("caf\xE9 \x80 \x93ok\x94"), Text(u"café € “ok”")},
      {"ISO-8859-1", Bytes("\x80 caf\xE9"), Text(u"€ café")},
      {"ISO-8859-9",
       Bytes("Ay\xFE"
             "e \x96 \xDD"),
       Text(u"Ayşe – İ")},
      {"ISO-8859-11", Bytes("\xCA\xC7\xD1\xCA\x96"), Text(u"สวัส–")},
      {"EUC-KR", Bytes("\x8C\x63 \xC7\xD1"), Text(u"똠 한")},
      {"UHC", Bytes("\x8C\x63 \xC7\xD1"), Text(u"똠 한")},
      {"GB2312", Bytes("\xE9\x46 \xD6\xD0"), Text(u"镕 中")},
      {"GBK", Bytes("\x94\x39\xFC\x36 \xD6\xD0"), Text(u"\U0001F600 中")},
      {"ISO-8859-2", Bytes("\xA9koda \xE8"), Text(u"Škoda č")},
      {"ISO-8859-2", Bytes("\x8Akoda \xE8 \x96"), Text(u"Škoda č –")},
      {"ISO-8859-7", Bytes("\xE1 \x93\xE2\x94"), Text(u"α “β”")},
      {"ISO-8859-5", Bytes("\xB4\x85"), Text(u"Д\uFFFD")},
      {"WINDOWS-1252", Bytes("a\x81z"), Text(u"a\uFFFDz")},
      {"VISCII", Bytes("Vi\xAEt \x02"), Text(u"Việt Ẳ")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    EXPECT_EQ(DecodeIllFormedCopyText(c.bytes, Answering(c.answer)).text, c.text);
  }
}

// Windows-1258 writes most tone marks as combining characters after the letter.
TEST(CodePageChoice, VietnameseComesComposed) {
  const QByteArray bytes = Bytes("Ch\xFD\xF5ng tri\xCCnh in \xF0\xFAng");
  EXPECT_EQ(DecodeIllFormedCopyText(bytes, Answering("WINDOWS-1258")).text, Text(u"Chương trình in đúng"));
  EXPECT_EQ(DecodeCopyText(bytes, "windows-1258").text, Text(u"Chương trình in đúng"));
}

TEST(CodePageChoice, UnicodeByByteOrderMark) {
  const QString expected = Text(u"; Größe\n\u4E2D\r\nx");
  const struct {
    const char* form;
    QByteArray mark;
  } cases[] = {{"UTF-16LE", Bytes("\xFF\xFE")},
               {"UTF-16BE", Bytes("\xFE\xFF")},
               {"UTF-32LE", QByteArray("\xFF\xFE\x00\x00", 4)},
               {"UTF-32BE", QByteArray("\x00\x00\xFE\xFF", 4)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.form);
    QByteArray body;
    const bool sixteen = QByteArrayView(c.form).startsWith("UTF-16");
    const bool little = QByteArrayView(c.form).endsWith("LE");
    for (const char32_t code : expected.toUcs4()) {
      QByteArray unit;
      if (sixteen) {
        unit = QByteArray(1, char(code >> 8)) + char(code);
      } else {
        unit = QByteArray(2, '\0') + char(code >> 8) + char(code);
      }
      if (little) std::reverse(unit.begin(), unit.end());
      body += unit;
    }
    const DecodedText decoded = DecodeCopyText(c.mark + body);
    EXPECT_EQ(decoded.text, expected);
    EXPECT_EQ(decoded.encoding, c.form);
  }
}

// Valid UTF-8 prints as written beside lines in a single-byte page; a stray byte is one character.
TEST(CodePageChoice, ValidUtf8IsNeverGarbled) {
  const struct {
    const char* name;
    const char* answer;
    QByteArray bytes;
    QStringList lines;
  } cases[] = {
      {"tie in a line", "WINDOWS-1252", Bytes("\xC3\xA9 x\x80y\n"), {Text(u"é x€y")}},
      {"valid lines beside stray bytes",
       "WINDOWS-1252",
       Bytes("; Gr\xC3\xBC\xC3\x9F"
             "e caf\xC3\xA9\n; \xE0 \xE8 \xF9\n; na\xEFve \xAB\xBB\n"),
       {Text(u"; Grüße café"), Text(u"; à è ù"), Text(u"; naïve «»")}},
      {"legacy line with a chance sequence",
       "WINDOWS-1251",
       Bytes("; \xC2\xD1\xA8 \xC3\xCE\xD2\xCE\xC2\xCE"),
       {Text(u"; ВСЁ ГОТОВО")}},
      {"decomposed UTF-8 kept", "WINDOWS-1252", Bytes("e\xCC\x81\n\xE9"), {Text(u"e\u0301"), Text(u"é")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Lines(DecodeIllFormedCopyText(c.bytes, Answering(c.answer)).text), c.lines);
  }
}

// In a multi-byte page valid UTF-8 happens by chance ("詹" is D5 B2 in GBK), so every line is the
// page's, unless valid UTF-8 outweighs the rest; a byte that starts a character or a shift never
// takes the line end with it.
TEST(CodePageChoice, MultiBytePagesDecodeEveryLineAndKeepLineEnds) {
  const auto lines = [](const char* bytes, const char* answer) {
    return Lines(DecodeIllFormedCopyText(Bytes(bytes), Answering(answer)).text);
  };
  EXPECT_EQ(lines("; \xD5\xB2\n\xD6\xD0\xB9\n\xB0\r\n", "GB18030"),
            (QStringList{Text(u"; 詹"), Text(u"中\uFFFD"), Text(u"\uFFFD")}));
  EXPECT_EQ(lines("; \xD5\xB2\n\xB0", "GB18030"), (QStringList{Text(u"; 詹"), Text(u"\uFFFD")}));
  EXPECT_EQ(lines("; \xE4\xB8\xAD\xE6\x96\x87\xE4\xB8\xAD\xE6\x96\x87\xE6\x96\x87\n; \xD6\xD0\xCE\xC4", "GB18030"),
            (QStringList{Text(u"; 中文中文文"), Text(u"; 中文")}));
  EXPECT_EQ(lines("~{<:\n<:~}\n\x80", "HZ-GB-2312").size(), 3);
  EXPECT_EQ(lines("\x1B$B$\"\n$\"\x1B(B\n\x80", "ISO-2022-JP").first(), Text(u"あ"));
}

// Our own samples, turned into the code page a Windows user of the language has, read as a whole
// and by their first two lines, detector and all.
TEST(CodePageChoice, SamplesInTheirCodePages) {
  const char* samples[] = {"korean.cp949",  "thai.cp874",   "turkish.cp1254", "vietnamese.cp1258",  "czech.cp1250",
                           "polish.cp1250", "greek.cp1253", "hebrew.cp1255",  "russian.cp1251",     "russian.koi8-r",
                           "russian.cp866", "chinese.gbk",  "taiwanese.big5", "japanese.shift_jis", "japanese.euc-jp",
                           "french.cp1252", "german.cp1252"};
  for (const char* sample : samples) {
    SCOPED_TRACE(sample);
    const QString name = QString::fromLatin1(sample);
    QFile encoded(QString(FOLIVANE_INTAKE_SAMPLES) + "/" + name + ".txt");
    QFile original(QString(FOLIVANE_APP_SAMPLES) + "/" + name.section(u'.', 0, 0) + ".txt");
    ASSERT_TRUE(encoded.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
    const QByteArray bytes = encoded.readAll();
    const QString expected = QString::fromUtf8(original.readAll());
    EXPECT_EQ(DecodeCopyText(bytes).text, expected);
    const qsizetype secondLineEnd = bytes.indexOf('\n', bytes.indexOf('\n') + 1);
    EXPECT_EQ(DecodeCopyText(bytes.first(secondLineEnd + 1)).text, expected.section(u'\n', 0, 1) + u'\n');
  }
}

}  // namespace
}  // namespace folivane
