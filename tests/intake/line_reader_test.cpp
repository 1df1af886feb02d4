// Line reader cases: line ends, UTF-8 sequences, byte-order mark, long lines, failing reads.
#include <gtest/gtest.h>

#include <QStringDecoder>
#include <QStringList>
#include <algorithm>
#include <random>

#include "intake/line_reader.h"
#include "intake/source_copy.h"
#include "chunked_source.h"

namespace folivane {
namespace {

QString Text(QStringView text) { return text.toString(); }

// Every line of the source read as UTF-8, the encoding whose sequence rules these cases check.
QStringList ReadAll(ByteSource& source) {
  SourceText text;
  ReadSourceLines(source, text, {kMaxCopyBytes, kMaxCopyLines, "utf-8"});
  // Lines of their own, to outlive the text they were read into.
  QStringList lines;
  for (const QString& line : text.lines) lines.append(QString(line.constData(), line.size()));
  return lines;
}

struct LineCase {
  const char* name;
  QByteArray bytes;
  QStringList lines;
};

void PrintTo(const LineCase& c, std::ostream* out) { *out << c.name; }

class LineReaderCases : public ::testing::TestWithParam<LineCase> {};

// Every case must come out the same however the source cuts the bytes into reads.
TEST_P(LineReaderCases, SameLinesForEveryReadSize) {
  for (std::ptrdiff_t chunk : {1, 2, 3, 4096}) {
    ChunkedSource source(GetParam().bytes, chunk);
    EXPECT_EQ(ReadAll(source), GetParam().lines) << "read size " << chunk;
  }
}

template <size_t N>
QByteArray Bytes(const char (&literal)[N]) {
  return QByteArray(literal, N - 1);
}

const LineCase kLineEnds[] = {
    {"CrLfBetween", Bytes("a\r\nb"), {"a", "b"}},
    {"CrLfAtEnd", Bytes("a\r\n"), {"a"}},
    {"LfLf", Bytes("a\n\n"), {"a", ""}},
    {"CrBetween", Bytes("a\rb"), {"a", "b"}},
    {"LfCr", Bytes("a\n\rb"), {"a", "", "b"}},
    {"CrCrLf", Bytes("a\r\r\nb"), {"a", "", "b"}},
    {"NulEndsLine", Bytes("a\0b\n"), {"a", "b"}},
    {"CrAtEnd", Bytes("a\r"), {"a"}},
    {"Empty", Bytes(""), {}},
    {"SingleLf", Bytes("\n"), {""}},
    {"SingleNul", Bytes("\0"), {""}},
    {"NoTerminator", Bytes("abc"), {"abc"}},
    {"CrCr", Bytes("\r\r"), {"", ""}},
};
INSTANTIATE_TEST_SUITE_P(LineEnds, LineReaderCases, ::testing::ValuesIn(kLineEnds),
                         [](const auto& info) { return std::string(info.param.name); });

const LineCase kSequences[] = {
    {"StrayBytesBecomeQuestionMarks", Bytes("\x80x\xBF\xF8\xFF\n"), {"?x???"}},
    {"TwoBytes", Bytes("\xC3\xA9\n"), {Text(u"\u00E9")}},
    {"ThreeBytes", Bytes("\xE2\x82\xAC\n"), {Text(u"\u20AC")}},
    {"FourBytes", Bytes("\xF0\x9F\x98\x80\n"), {Text(u"\U0001F600")}},
    {"LeadBrokenByLf", Bytes("\xC3\nB\nC"), {Text(u"\uFFFD"), "B", "C"}},
    {"LeadBrokenByCrLf", Bytes("\xE0\r\nx\ny"), {Text(u"\uFFFD"), "x", "y"}},
    {"F7BrokenByLf", Bytes("\xF7\n\n\nz\n"), {Text(u"\uFFFD"), "", "", "z"}},
    {"LeadBeforeEmptyLine", Bytes("caf\xE9\n\nnext\n"), {Text(u"caf\uFFFD"), "", "next"}},
    {"BrokenAfterOneFurtherByte", Bytes("\xE2\x82x\n"), {Text(u"\uFFFDx")}},
    {"TruncatedAtEnd", Bytes("a\xE2\x82"), {Text(u"a\uFFFD")}},
    {"TruncatedAloneAtEnd", Bytes("a\n\xF0\x9F"), {"a", Text(u"\uFFFD")}},
    {"NulBreaksSequenceAndEndsLine",
     Bytes("ab\xE2\0\x82"
           "cd\nxy"),
     {Text(u"ab\uFFFD"), "?cd", "xy"}},
    {"NulAsSecondByte", Bytes("\xC3\0zz\n"), {Text(u"\uFFFD"), "zz"}},
    {"ByteOrderMarkKept",
     Bytes("\xEF\xBB\xBF"
           "A\nB"),
     {Text(u"\uFEFFA"), "B"}},
    {"TwoByteOrderMarks", Bytes("\xEF\xBB\xBF\xEF\xBB\xBF"), {Text(u"\uFEFF\uFEFF")}},
    {"ByteOrderMarkOnLaterLine", Bytes("a\n\xEF\xBB\xBFz"), {"a", Text(u"\uFEFFz")}},
};
INSTANTIATE_TEST_SUITE_P(Sequences, LineReaderCases, ::testing::ValuesIn(kSequences),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LineReader, LinesLongerThanTheReadBufferComeThroughWhole) {
  const QString ascii(10000, u'x');
  const QString accented = QString(5000, QChar(0x00E9));  // 10000 bytes, sequences straddle reads
  ChunkedSource source((ascii + "\n" + accented + "\r\n" + ascii).toUtf8(), 4096);
  EXPECT_EQ(ReadAll(source), QStringList({ascii, accented, ascii}));
}

TEST(LineReader, ManyEmptyLines) {
  ChunkedSource source(QByteArray(100000, '\n'), 4096);
  const QStringList lines = ReadAll(source);
  ASSERT_EQ(lines.size(), 100000);
  EXPECT_TRUE(std::all_of(lines.begin(), lines.end(), [](const QString& l) { return l.isEmpty(); }));
}

struct FailureCase {
  const char* name;
  QByteArray bytes;
  std::ptrdiff_t failAt;
  QStringList lines;
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class LineReaderFailures : public ::testing::TestWithParam<FailureCase> {};

// A failed read is the end: the lines so far stand and the source is not asked again.
TEST_P(LineReaderFailures, FailedReadEndsTheInput) {
  ChunkedSource source(GetParam().bytes, 1, GetParam().failAt);
  EXPECT_EQ(ReadAll(source), GetParam().lines);
  EXPECT_EQ(source.reads, GetParam().failAt + 1);
}

const FailureCase kFailures[] = {
    {"AtStart", Bytes("ab\ncd"), 0, {}},
    {"InsideLine", Bytes("ab\ncd\nef"), 4, {"ab", "c"}},
    {"AfterCr", Bytes("ab\r\ncd"), 3, {"ab"}},
    {"InsideSequence", Bytes("ab\nc\xE2\x82\xAC"), 6, {"ab", Text(u"c\uFFFD")}},
};
INSTANTIATE_TEST_SUITE_P(Failures, LineReaderFailures, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

// The rules taken one byte at a time, with no buffer in between.
QStringList ReferenceLines(const QByteArray& input) {
  QStringList lines;
  qsizetype i = 0;
  while (i < input.size()) {
    QByteArray line;
    while (i < input.size()) {
      const auto lead = static_cast<unsigned char>(input[i++]);
      if (lead == 0x0A || lead == 0x00) break;
      if (lead == 0x0D) {
        if (i < input.size() && input[i] == '\n') ++i;
        break;
      }
      if (lead < 0x80) {
        line += char(lead);
      } else if (lead < 0xC0 || lead > 0xF7) {
        line += '?';
      } else {
        const int further = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
        QByteArray sequence(1, char(lead));
        while (sequence.size() <= further && i < input.size() && (uchar(input[i]) & 0xC0) == 0x80)
          sequence += input[i++];
        line += sequence.size() == further + 1 ? sequence : QByteArray("\xEF\xBF\xBD");
      }
    }
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    lines.append(decoder.decode(line));
  }
  return lines;
}

TEST(LineReader, AgreesWithByteByByteRulesOnRandomInput) {
  const char alphabet[] = {'a',    'a',    'a',    'a',    'a',    'a',    'b',    '\n',   '\r',  '\0',
                           '\x80', '\xC3', '\xE2', '\xF0', '\xEF', '\xBB', '\xBF', '\xFF', '\xA9'};
  std::mt19937 random(20240521);
  for (int round = 0; round < 300; ++round) {
    QByteArray input;
    const int length = std::uniform_int_distribution<int>(0, round % 10 == 0 ? 20000 : 300)(random);
    // Long plain stretches, so lines straddle the read buffer's end.
    const bool plain = round % 3 == 0;
    for (int i = 0; i < length; ++i) {
      const int pick = std::uniform_int_distribution<int>(0, plain ? 200 : sizeof alphabet - 1)(random);
      input += pick < int(sizeof alphabet) ? alphabet[pick] : 'x';
    }
    const std::ptrdiff_t chunk = std::uniform_int_distribution<int>(1, 5000)(random);
    ChunkedSource source(input, chunk);
    const QStringList got = ReadAll(source);
    const QStringList expected = ReferenceLines(input);
    ASSERT_EQ(got.size(), expected.size()) << "round " << round << ", read size " << chunk;
    for (qsizetype k = 0; k < got.size(); ++k)
      ASSERT_EQ(got[k], expected[k]) << "round " << round << ", line " << k + 1;
    // Read in pieces and decoded as it comes, the text is what the whole bytes decode to.
    ChunkedSource again(input, chunk);
    SourceText automatic;
    ReadSourceLines(again, automatic);
    ASSERT_EQ(automatic.text, DecodeCopyText(input).text) << "round " << round << ", read size " << chunk;
  }
}

// A copy is UTF-8 when it starts with the byte-order mark; otherwise the bytes outside valid UTF-8
// are characters of the code page they were saved in.
TEST(LineReader, EncodingFollowsTheBytes) {
  const struct {
    const char* name;
    QByteArray bytes;
    QStringList lines;
    bool utf8;
  } cases[] = {
      {"code page", Bytes("; caf\xE9\n; line2\n; line3\n"), {Text(u"; caf\u00E9"), "; line2", "; line3"}, false},
      {"byte-order mark",
       Bytes("\xEF\xBB\xBF"
             "caf\xE9\nx"),
       {Text(u"\uFEFFcaf\uFFFD"), "x"},
       true},
      {"one stray byte", Bytes("\xC3\xA9t\xC3\xA9 \xA9\n"), {Text(u"\u00E9t\u00E9 \u00A9")}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ChunkedSource source(c.bytes);
    SourceText text;
    ReadSourceLines(source, text);
    EXPECT_EQ(text.lines, c.lines);
    EXPECT_EQ(text.encoding == "UTF-8", c.utf8) << text.encoding.constData();
  }
}

// Well-formed UTF-8 decoded as it is read: a sequence split between reads, a four-byte one giving
// two UTF-16 units from a single byte read, comes out whole.
TEST(LineReader, SequencesSplitBetweenReadsComeOutWhole) {
  const QByteArray bytes = QByteArray(
                               "a\xF0\x9F\x98\x80"
                               "b\xE2\x82\xAC\n\xC3\xA9\xF0\x9F\x8C\xB1")
                               .repeated(50);
  for (const std::ptrdiff_t chunk : {1, 2, 3, 5}) {
    ChunkedSource source(bytes, chunk);
    SourceText text;
    ReadSourceLines(source, text);
    EXPECT_EQ(text.text, QString::fromUtf8(bytes)) << "read size " << chunk;
  }
}

}  // namespace
}  // namespace folivane
