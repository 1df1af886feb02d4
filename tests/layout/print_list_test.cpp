// Tests of the print list: the line range a selection asks for, and the wrapping of lines into rows.
#include "layout/print_list.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <climits>
#include <random>
#include <vector>

#include "support/literal_wrap.h"
#include "surface_stub.h"

namespace folivane {
namespace {

// Every unit is kUnitWidth wide; counts how much text it was asked to measure.
class FixedWidthSurface : public SurfaceStub {
 public:
  static constexpr int kUnitWidth = 10;
  int MeasureText(const QString& text) override {
    measuredUnits += text.size();
    return static_cast<int>(text.size()) * kUnitWidth;
  }
  int AdditiveAdvance(char16_t) override {
    ++advanceQuestions;
    return kUnitWidth;
  }
  qint64 measuredUnits = 0;
  int advanceQuestions = 0;
};

bool IsMark(char16_t unit) { return unit >= 0x0300 && unit <= 0x036F; }
bool IsCjk(char16_t unit) { return unit >= 0x4E00 && unit <= 0x9FFF; }
int PlainAdvance(char16_t unit) { return 6 + unit % 7; }

// Shapes like a real font: a mark joins its base (and narrows a CJK base, so widths of growing
// prefixes can shrink), neighbouring CJK characters kern, a surrogate pair is one glyph and a
// lone surrogate a wide box. Only the plain units are additive. Every effect reaches only from a
// unit to its neighbour, and never from one plain unit to the next, so widths add up at cuts
// between two plain units, as the surface promises.
class ShapingSurface : public SurfaceStub {
 public:
  int MeasureText(const QString& text) override {
    measuredUnits += text.size();
    enum class Previous { kNothing, kPlain, kCjk, kMark, kPair };
    Previous previous = Previous::kNothing;
    int width = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
      const char16_t unit = text[i].unicode();
      if (QChar::isHighSurrogate(unit) && i + 1 < text.size() &&
          QChar::isLowSurrogate(text[i + 1].unicode())) {
        width += 16;
        previous = Previous::kPair;
        ++i;
      } else if (QChar::isSurrogate(unit)) {
        width += 30;
        previous = Previous::kPair;
      } else if (IsMark(unit)) {
        if (previous == Previous::kCjk) width -= 5;
        else if (previous == Previous::kNothing || previous == Previous::kMark) width += 9;
        previous = Previous::kMark;
      } else if (IsCjk(unit)) {
        width += previous == Previous::kCjk ? 18 : 20;
        previous = Previous::kCjk;
      } else {
        width += PlainAdvance(unit);
        previous = Previous::kPlain;
      }
    }
    return width;
  }
  int AdditiveAdvance(char16_t unit) override {
    if (IsMark(unit) || IsCjk(unit) || QChar::isSurrogate(unit)) return -1;
    return PlainAdvance(unit);
  }
  qint64 measuredUnits = 0;
};

// Every unit has its own advance, marks none, and widths are plain sums.
class AdditiveSurface : public SurfaceStub {
 public:
  int MeasureText(const QString& text) override {
    int width = 0;
    for (const QChar unit : text) width += AdditiveAdvance(unit.unicode());
    return width;
  }
  int AdditiveAdvance(char16_t unit) override {
    if (IsMark(unit)) return 0;
    if (IsCjk(unit)) return 20;
    return PlainAdvance(unit);
  }
};

QStringList NumberedLines(int count) {
  QStringList lines;
  for (int i = 1; i <= count; ++i) lines.append(QStringLiteral("line %1").arg(i));
  return lines;
}

QStringList LabelsOf(const PrintList& rows) {
  QStringList labels;
  for (const PrintRow& row : rows) labels.append(row.label);
  return labels;
}

QStringList TextsOf(const PrintList& rows) {
  QStringList texts;
  for (const PrintRow& row : rows) texts.append(row.text);
  return texts;
}

// ---------------------------------------------------------------------------------------------
// Line range

struct RangeCase {
  const char16_t* selection;
  int startLine;
  int endLine;
};

TEST(DetermineLineRange, FollowsTheSelectionText) {
  constexpr int kLines = 30;
  const RangeCase cases[] = {
      {u"", 1, kLines},
      {u"12x1", 1, kLines},
      {u"1x2x3x4x5", 1, kLines},
      {u"12x1x12x1", 1, kLines},
      {u"12x1x12x7", 12, 12},
      {u"12x5x20x1", 12, 20},
      {u"20x1x12x1", 20, 20},
      {u"12X5X20X1", 1, kLines},
      {u" 12x5x 20x1", 12, 20},
      {u"\t 12x5x\t20x1", 12, 20},
      {u"12x1x012x1", 12, 12},
      {u"+12x1x+20x1", 12, 20},
      {u"12;x1x20abcx1", 12, 20},
      {u"$Cx1x$14x1", 12, 20},
      {u"$cx1x$1e;x1", 12, 30},
      {u"%1100x1x%10100x1", 12, 20},
      {u"0x1x5x1", 1, kLines},
      {u"-3x1x5x1", 1, kLines},
      {u"ax1x5x1", 1, kLines},
      {u"x1x5x1", 1, kLines},
      {u"31x1x40x1", 1, kLines},
      {u"4294967308x1x20x1", 1, kLines},
      {u"12x1x40x1", 12, kLines},
      {u"12x1x99999999999x1", 12, kLines},
      {u"12x1x-5x1", 12, 12},
      {u"30x9x30x1", 30, 30},
      {u"1x1x1x2", 1, 1},
  };
  for (const RangeCase& c : cases) {
    const QString selection = QString::fromUtf16(c.selection);
    const LineRange range = DetermineLineRange(selection, kLines);
    EXPECT_EQ(range.startLine, c.startLine) << selection.toStdString();
    EXPECT_EQ(range.endLine, c.endLine) << selection.toStdString();
  }
}

TEST(DetermineLineRange, EmptySourceKeepsTheEmptyDefault) {
  for (const QString& selection : {QString(), QStringLiteral("1x1x1x2")}) {
    const LineRange range = DetermineLineRange(selection, 0);
    EXPECT_EQ(range.startLine, 1);
    EXPECT_EQ(range.endLine, 0);
  }
}

TEST(ReadSelectionNumber, ReadsSignBaseAndDigits) {
  const struct {
    const char16_t* field;
    int value;
  } cases[] = {
      {u"", 0},           {u"7", 7},
      {u"  \t42", 42},    {u"-5", -5},
      {u"+5", 5},         {u"- 5", 0},
      {u"12 34", 12},     {u"0012", 12},
      {u"$ff", 255},      {u"$FF", 255},
      {u"-$10", -16},     {u"$", 0},
      {u"$g1", 0},        {u"%101", 5},
      {u"%102", 2},       {u"%", 0},
      {u"0x1F", 0},       {u"\u0663", 0},
      {u"2147483647", INT_MAX},
      {u"2147483648", INT_MAX},
      {u"-2147483648", INT_MIN},
      {u"-99999999999999999999999", INT_MIN},
      {u"$FFFFFFFF", INT_MAX},
      {u"%11111111111111111111111111111111111111111", INT_MAX},
  };
  for (const auto& c : cases) {
    const QString field = QString::fromUtf16(c.field);
    EXPECT_EQ(ReadSelectionNumber(field), c.value) << field.toStdString();
  }
}

// ---------------------------------------------------------------------------------------------
// Effective wrap limit

TEST(EffectiveWrapLimit, KeepsTheLimitWhereARowFits) {
  const struct {
    int wrapLimit, textColumn, printableWidth, widestAdvance, expected;
  } cases[] = {
      {4200, 300, 5000, 40, 4200},
      {4200, 300, 4500, 40, 4200},
      {4200, 300, 4499, 40, 4159},
      {4200, 300, 320, 40, 1},
      {4200, 0, 0, 0, 1},
      {INT_MAX, INT_MAX, 0, INT_MAX, 1},
      {INT_MAX, 0, INT_MAX, 0, INT_MAX},
      {100, INT_MAX, INT_MAX, INT_MIN, INT_MAX},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EffectiveWrapLimit(c.wrapLimit, c.textColumn, c.printableWidth, c.widestAdvance),
              c.expected)
        << c.wrapLimit << " " << c.textColumn << " " << c.printableWidth << " " << c.widestAdvance;
  }
}

// ---------------------------------------------------------------------------------------------
// Wrapping

TEST(WrapLine, FollowsTheWrapLimit) {
  constexpr int kLimit = 4200;  // 420 units of the fixed-width surface
  const struct {
    int length;
    std::vector<int> rowLengths;
  } cases[] = {
      {0, {0}},
      {1, {1}},
      {420, {420}},
      {421, {420, 1}},
      {839, {420, 419}},
      {840, {420, 420, 0}},
      {1000, {420, 420, 160}},
  };
  for (const auto& c : cases) {
    const QString line(c.length, u'm');
    for (bool literal : {false, true}) {
      FixedWidthSurface surface;
      PrintList rows;
      (literal ? WrapLineLiteral : WrapLine)(surface, line, kLimit, QStringLiteral("17"), rows);
      std::vector<int> lengths;
      for (const PrintRow& row : rows) {
        lengths.push_back(static_cast<int>(row.text.size()));
        EXPECT_EQ(row.label, QStringLiteral("17"));
      }
      EXPECT_EQ(lengths, c.rowLengths) << "length " << c.length << (literal ? " literal" : "");
      EXPECT_EQ(TextsOf(rows).join(QString()), line);
    }
  }
}

TEST(WrapLine, LimitBelowOneStillEnds) {
  for (int limit : {0, -5, INT_MIN}) {
    FixedWidthSurface surface;
    PrintList rows;
    WrapLine(surface, QStringLiteral("abc"), limit, QStringLiteral("1"), rows);
    EXPECT_EQ(TextsOf(rows), (QStringList{"a", "b", "c", ""})) << limit;
  }
}

TEST(WrapLine, NeverSplitsASurrogatePair) {
  const struct {
    const char16_t* line;
    int limit;
    std::vector<const char16_t*> rows;
  } cases[] = {
      {u"a\U0001F600b", 15, {u"a\U0001F600", u"b"}},
      {u"\U0001F600\U0001F600\U0001F600", 5, {u"\U0001F600", u"\U0001F600", u"\U0001F600", u""}},
      {u"ab\U0001F600cd", 25, {u"ab\U0001F600", u"cd"}},
      // Lone halves are characters of their own.
      {u"a\xD83D" u"b", 15, {u"a\xD83D", u"b"}},
      {u"ab\xDE00" u"c", 25, {u"ab\xDE00", u"c"}},
      {u"ab\xD83D", 25, {u"ab\xD83D", u""}},
  };
  for (const auto& c : cases) {
    QStringList expected;
    for (const char16_t* row : c.rows) expected.append(QString::fromUtf16(row));
    for (bool literal : {false, true}) {
      FixedWidthSurface surface;
      PrintList rows;
      (literal ? WrapLineLiteral : WrapLine)(surface, QString::fromUtf16(c.line), c.limit,
                                             QStringLiteral("3"), rows);
      EXPECT_EQ(TextsOf(rows), expected) << QString::fromUtf16(c.line).toStdString();
    }
  }
}

TEST(ExpandTabs, FillsToTheNextMultipleOfFourUnits) {
  const struct {
    const char16_t* line;
    const char16_t* expanded;
  } cases[] = {
      {u"", u""},
      {u"plain", u"plain"},
      {u"\tx", u"    x"},
      {u"ab\tc", u"ab  c"},
      {u"abc\td", u"abc d"},
      {u"abcd\te", u"abcd    e"},
      {u"a\t\tb", u"a       b"},
      {u"\U0001F600\tx", u"\U0001F600  x"},
      {u"\t", u"    "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExpandTabs(QString::fromUtf16(c.line)), QString::fromUtf16(c.expanded));
  }
}

// ---------------------------------------------------------------------------------------------
// Building the print list

TEST(BuildPrintList, WalksTheRange) {
  const QStringList lines = NumberedLines(5);
  const struct {
    LineRange range;
    QStringList labels;
  } cases[] = {
      {{1, 5}, {"1", "2", "3", "4", "5"}},
      {{2, 4}, {"2", "3", "4"}},
      {{4, 2}, {"4"}},
      {{4, 99}, {"4", "5"}},
      {{5, INT_MAX}, {"5"}},
      {{0, 3}, {}},
      {{6, 9}, {}},
      {{INT_MIN, INT_MAX}, {}},
  };
  for (const auto& c : cases) {
    FixedWidthSurface surface;
    PrintList rows;
    BuildPrintList(surface, lines, c.range, 4200, rows);
    EXPECT_EQ(LabelsOf(rows), c.labels) << c.range.startLine << ".." << c.range.endLine;
  }
}

TEST(BuildPrintList, SelectionBackwardsPrintsAllRowsOfItsStartLine) {
  QStringList lines = NumberedLines(30);
  lines[16] = QString(1000, u'w');  // line 17: three fragments
  lines[19] = QString(900, u'v');   // line 20: three fragments, the last short
  FixedWidthSurface surface;
  PrintList rows;
  BuildPrintList(surface, lines, DetermineLineRange(QStringLiteral("20x1x12x1"), 30), 4200, rows);
  EXPECT_EQ(LabelsOf(rows), (QStringList{"20", "20", "20"}));
  EXPECT_EQ(TextsOf(rows).join(QString()), lines[19]);

  rows.clear();
  BuildPrintList(surface, lines, DetermineLineRange(QStringLiteral("16x1x18x1"), 30), 4200, rows);
  EXPECT_EQ(LabelsOf(rows), (QStringList{"16", "17", "17", "17", "18"}));
  EXPECT_EQ(rows[1].text, lines[16].left(420));
}

TEST(BuildPrintList, LabelsAreDecimalLineNumbers) {
  const QStringList lines = NumberedLines(120);
  FixedWidthSurface surface;
  PrintList rows;
  BuildPrintList(surface, lines, LineRange{7, 7}, 4200, rows);
  BuildPrintList(surface, lines, LineRange{120, 120}, 4200, rows);
  EXPECT_EQ(LabelsOf(rows), (QStringList{"7", "120"}));
  EXPECT_EQ(TextsOf(rows), (QStringList{"line 7", "line 120"}));
}

TEST(BuildPrintList, EmptyLineGivesOneEmptyRow) {
  FixedWidthSurface surface;
  PrintList rows;
  BuildPrintList(surface, QStringList{QString()}, LineRange{1, 1}, 4200, rows);
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows[0].label, QStringLiteral("1"));
  EXPECT_TRUE(rows[0].text.isEmpty());
}

TEST(BuildPrintList, WrapsTheTabExpandedLine) {
  FixedWidthSurface surface;
  PrintList rows;
  BuildPrintList(surface, QStringList{QStringLiteral("\tabc\td")}, LineRange{1, 1}, 45, rows);
  EXPECT_EQ(TextsOf(rows), (QStringList{"    a", "bc d"}));
}

// A one-line megabyte of plain text is summed, not measured: the work grows with its length.
TEST(BuildPrintList, LongPlainLineIsWrappedWithoutMeasuring) {
  constexpr int kLength = 1 << 20;
  QString line(kLength, u'a');
  for (int i = 0; i < kLength; i += 7) line[i] = QChar(u'a' + i % 26);
  FixedWidthSurface surface;
  PrintList rows;
  BuildPrintList(surface, QStringList{line}, LineRange{1, 1}, 4200, rows);
  EXPECT_EQ(surface.measuredUnits, 0);
  EXPECT_LE(surface.advanceQuestions, 26);
  EXPECT_EQ(rows.size(), kLength / 420 + 1);
  EXPECT_EQ(TextsOf(rows).join(QString()), line);
}

// Only the chunks around the shaped units are measured, each with the prefixes of the rows that
// end in it: the work does not grow with the rest of the line.
TEST(BuildPrintList, ShapedUnitsCostOnlyTheirOwnChunks) {
  constexpr int kLength = 1 << 20;
  QString line(kLength, u'a');
  line.insert(0, QStringLiteral("\u4E2D\u0301"));
  line.insert(kLength / 2, QStringLiteral("b\U0001F600"));
  line.append(QChar(0x0300));
  ShapingSurface shaping;
  PrintList fast;
  BuildPrintList(shaping, QStringList{line}, LineRange{1, 1}, 500, fast);
  EXPECT_EQ(TextsOf(fast).join(QString()), line);
  EXPECT_EQ(fast[1].text.size(), 500 / PlainAdvance(u'a') + 1);
  EXPECT_LE(shaping.measuredUnits, 2000);
}

// A megabyte line of plain text with a CJK character and a combining mark near each end.
// "a" is 12 pixels wide; the limit is 500.
QString MegabyteLine(qsizetype length) {
  QString line(length, u'a');
  line[10] = u'\u4E2D';  // 20 pixels
  line[11] = u'\u0301';  // narrows the CJK character before it by 5
  line[length - 30] = u'\u4E2D';
  line[length - 20] = u'\u0301';  // after a plain letter: no width
  return line;
}

TEST(WrapLine, MegabyteLineWithShapedUnitsNearBothEnds) {
  constexpr int kLimit = 500;
  // The literal rule, on a line short enough for it.
  {
    const QString line = MegabyteLine(20000);
    ShapingSurface surface;
    PrintList fast;
    PrintList literal;
    WrapLine(surface, line, kLimit, QStringLiteral("5"), fast);
    WrapLineLiteral(surface, line, kLimit, QStringLiteral("5"), literal);
    ASSERT_EQ(TextsOf(fast), TextsOf(literal));
  }

  constexpr qsizetype kLength = qsizetype{1} << 20;
  const QString line = MegabyteLine(kLength);
  ShapingSurface surface;
  PrintList rows;
  WrapLine(surface, line, kLimit, QStringLiteral("5"), rows);
  EXPECT_LE(surface.measuredUnits, 2000);

  // The first row: ten letters (120), the CJK character (140), its mark (135), then 31 letters
  // reach 507. Then rows of 42 letters (504) until the end comes near; the CJK character there
  // adds 8 and the mark takes 12 away, so in all the line is 4 pixels narrower than its letters.
  ASSERT_FALSE(rows.isEmpty());
  EXPECT_EQ(rows[0].text, QString(10, u'a') + QStringLiteral("\u4E2D\u0301") + QString(31, u'a'));
  const qsizetype afterFirst = kLength - 43;
  const qint64 widthAfterFirst = qint64{afterFirst} * 12 + 8 - 12;
  // Full rows of 42 letters while the rest reaches the limit; rows that hold the CJK character
  // or the mark stay 42 units long as long as they still reach it.
  EXPECT_EQ(rows.size(), 1 + widthAfterFirst / 504 + 1);
  for (qsizetype i = 1; i + 2 < rows.size(); ++i) ASSERT_EQ(rows[i].text.size(), 42) << i;
  EXPECT_EQ(rows[rows.size() / 2].text, QString(42, u'a'));

  // Every row is the shortest prefix that reaches the limit, the last one stays below it.
  EXPECT_EQ(TextsOf(rows).join(QString()), line);
  for (qsizetype i = 0; i + 1 < rows.size(); ++i) {
    const QString& text = rows[i].text;
    ASSERT_GE(surface.MeasureText(text), kLimit) << i;
    for (qsizetype n = 1; n < text.size(); ++n) ASSERT_LT(surface.MeasureText(text.left(n)), kLimit) << i;
  }
  EXPECT_LT(surface.MeasureText(rows.back().text), kLimit);
  EXPECT_GE(surface.MeasureText(rows[rows.size() - 2].text + rows.back().text), kLimit);
}

// ---------------------------------------------------------------------------------------------
// The summing wrapper against the literal rule, on random text

QString RandomLine(std::mt19937& random) {
  std::uniform_int_distribution<int> lengthOf(0, 160);
  std::uniform_int_distribution<int> kindOf(0, 99);
  QString line;
  const int length = lengthOf(random);
  for (int i = 0; i < length; ++i) {
    const int kind = kindOf(random);
    auto pick = [&](int from, int to) { return std::uniform_int_distribution<int>(from, to)(random); };
    if (kind < 40) {
      line.append(QChar(char16_t(pick(0x20, 0x7E))));
    } else if (kind < 52) {
      line.append(QChar(char16_t(pick(0xA0, 0xFF))));
    } else if (kind < 66) {
      line.append(QChar(char16_t(pick(0x4E00, 0x9FFF))));
    } else if (kind < 78) {
      line.append(QChar(char16_t(pick(0x0300, 0x036F))));
    } else if (kind < 88) {
      const char32_t emoji = char32_t(pick(0x1F600, 0x1F64F));
      line.append(QString::fromUcs4(&emoji, 1));
    } else if (kind < 96) {
      line.append(u'\t');
    } else {
      line.append(QChar(char16_t(pick(0xD800, 0xDFFF))));  // a lone half
    }
  }
  return line;
}

int RandomLimit(std::mt19937& random) {
  const int limits[] = {1, 7, 16, 25, 40, 64, 100, 180, 333, 1000};
  return limits[std::uniform_int_distribution<int>(0, 9)(random)];
}

void ExpectNoSplitPair(const PrintList& rows) {
  for (qsizetype i = 0; i + 1 < rows.size(); ++i) {
    const QString& text = rows[i].text;
    if (text.isEmpty() || rows[i + 1].text.isEmpty()) continue;
    EXPECT_FALSE(QChar::isHighSurrogate(text.back().unicode()) &&
                 QChar::isLowSurrogate(rows[i + 1].text.front().unicode()));
  }
}

template <typename Surface>
void CompareWithLiteralRule(unsigned seed) {
  std::mt19937 random(seed);
  Surface surface;
  for (int round = 0; round < 1500; ++round) {
    const QString line = RandomLine(random);
    const int limit = RandomLimit(random);

    PrintList fast;
    PrintList literal;
    WrapLine(surface, line, limit, QStringLiteral("9"), fast);
    WrapLineLiteral(surface, line, limit, QStringLiteral("9"), literal);
    ASSERT_EQ(TextsOf(fast), TextsOf(literal)) << "round " << round << " limit " << limit;
    ExpectNoSplitPair(fast);

    PrintList built;
    PrintList expanded;
    BuildPrintList(surface, QStringList{line}, LineRange{1, 1}, limit, built);
    WrapLineLiteral(surface, ExpandTabs(line), limit, QStringLiteral("1"), expanded);
    ASSERT_EQ(TextsOf(built), TextsOf(expanded)) << "round " << round << " limit " << limit;
    EXPECT_EQ(TextsOf(built).join(QString()), ExpandTabs(line));
  }
}

// Long lines of plain text with a few shaped units: rows start and end inside chunks, and the
// widths of many chunks are summed for every remainder.
TEST(WrapLine, MatchesTheLiteralRuleOnLongSparseLines) {
  std::mt19937 random(41);
  auto pick = [&](int from, int to) { return std::uniform_int_distribution<int>(from, to)(random); };
  for (int round = 0; round < 200; ++round) {
    QString line;
    const int length = pick(200, 2000);
    for (int i = 0; i < length; ++i) {
      const int kind = pick(0, 99);
      if (kind < 90) {
        line.append(QChar(char16_t(pick(0x20, 0x7E))));
      } else if (kind < 93) {
        line.append(QChar(char16_t(pick(0x4E00, 0x4E10))));
      } else if (kind < 97) {
        line.append(QChar(char16_t(pick(0x0300, 0x0310))));
      } else if (kind < 99) {
        line.append(QStringLiteral("\U0001F600"));
      } else {
        line.append(QChar(char16_t(0xDC00)));
      }
    }
    const int limit = pick(1, 400);
    ShapingSurface surface;
    PrintList fast;
    PrintList literal;
    WrapLine(surface, line, limit, QStringLiteral("2"), fast);
    WrapLineLiteral(surface, line, limit, QStringLiteral("2"), literal);
    ASSERT_EQ(TextsOf(fast), TextsOf(literal)) << "round " << round << " limit " << limit;
  }
}

TEST(WrapLine, MatchesTheLiteralRuleWithShapedText) { CompareWithLiteralRule<ShapingSurface>(17); }

TEST(WrapLine, MatchesTheLiteralRuleWithAdditiveText) { CompareWithLiteralRule<AdditiveSurface>(29); }

}  // namespace
}  // namespace folivane
