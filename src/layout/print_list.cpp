#include "layout/print_list.h"

#include "surface/additive_cuts.h"

#include <QStringView>
#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace folivane {

namespace {

constexpr char16_t kSelectionSeparator = u'x';
constexpr int kTabStop = 4;
constexpr int kAdvanceNotAsked = std::numeric_limits<int>::min();
// Enough to tell any 32-bit value from an overflow; digits beyond it only saturate.
constexpr std::uint64_t kNumberCeiling = std::uint64_t{1} << 33;

}  // namespace

// What one job has learnt of the surface's additive advances, plus scratch reused from line to
// line so that short lines cost no allocation.
struct AdvanceMemo {
  explicit AdvanceMemo(DrawingSurface& measuringSurface)
      : surface(measuringSurface), advanceOfUnit(0x10000, kAdvanceNotAsked) {}

  DrawingSurface& surface;
  std::vector<int> advanceOfUnit;
  // The line cut into chunks at every additive cut (both neighbours have an additive advance),
  // where the surface promises that widths add up: chunk k runs from chunkStarts[k] to
  // chunkStarts[k + 1], and widthBefore[k] is the width of the line before chunk k.
  std::vector<qsizetype> chunkStarts;
  std::vector<qint64> widthBefore;
};

namespace {

int AdditiveAdvanceOf(AdvanceMemo& memo, char16_t unit) {
  int& advance = memo.advanceOfUnit[unit];
  if (advance == kAdvanceNotAsked) advance = std::max(memo.surface.AdditiveAdvance(unit), -1);
  return advance;
}

int DigitValue(char16_t unit) {
  if (unit >= u'0' && unit <= u'9') return unit - u'0';
  if (unit >= u'a' && unit <= u'f') return unit - u'a' + 10;
  if (unit >= u'A' && unit <= u'F') return unit - u'A' + 10;
  return std::numeric_limits<int>::max();
}

// A wrap limit below 1 would let an empty remainder count as wide enough to split forever.
int UsableWrapLimit(int wrapLimit) { return std::max(wrapLimit, 1); }

// The position just past the character at `position`: a surrogate pair is one character.
qsizetype NextCharacterEnd(const QString& text, qsizetype position) {
  if (position + 1 < text.size() && QChar::isHighSurrogate(text[position].unicode()) &&
      QChar::isLowSurrogate(text[position + 1].unicode())) {
    return position + 2;
  }
  return position + 1;
}

void AppendRow(PrintList& printList, const QString& label, const QString& text) {
  printList.append(PrintRow{label, text});
}

// The line's chunks and the width before each; every chunk of more than one unit, or of a unit
// without an additive advance, is measured whole, once.
void CutIntoChunks(AdvanceMemo& memo, const QString& line) {
  const qsizetype size = line.size();
  memo.chunkStarts.clear();
  memo.widthBefore.clear();
  memo.chunkStarts.reserve(static_cast<std::size_t>(size) + 1);
  memo.widthBefore.reserve(static_cast<std::size_t>(size) + 1);
  qint64 width = 0;
  const auto advanceOf = [&memo](char16_t unit) { return AdditiveAdvanceOf(memo, unit); };
  ForEachAdditiveChunk(line, advanceOf, [&](qsizetype start, qsizetype end, int advance) {
    memo.chunkStarts.push_back(start);
    memo.widthBefore.push_back(width);
    width += advance >= 0 ? advance : memo.surface.MeasureText(line.mid(start, end - start));
  });
  memo.chunkStarts.push_back(size);
  memo.widthBefore.push_back(width);
}

// The wrapping rule with widths summed over chunks. A text that begins or ends inside a chunk is
// measured whole from its start to the chunk's end, or from the chunk's start to its end; every
// other chunk it covers counts with its known width. The rows are those of the rule measured whole.
void WrapLineWithMemo(AdvanceMemo& memo, const QString& line, int wrapLimit, const QString& label,
                      PrintList& printList) {
  const int limit = UsableWrapLimit(wrapLimit);
  const qsizetype size = line.size();
  CutIntoChunks(memo, line);
  const std::vector<qsizetype>& chunkStarts = memo.chunkStarts;
  const std::vector<qint64>& widthBefore = memo.widthBefore;
  const std::size_t lastChunk = chunkStarts.size() - 1;  // the entry past the end of the line

  auto measure = [&](qsizetype from, qsizetype to) -> qint64 {
    return memo.surface.MeasureText(line.mid(from, to - from));
  };
  // Width from `from` (inside chunk `chunk`) to the end of that chunk.
  auto widthToChunkEnd = [&](std::size_t chunk, qsizetype from) -> qint64 {
    if (from == chunkStarts[chunk]) return widthBefore[chunk + 1] - widthBefore[chunk];
    return measure(from, chunkStarts[chunk + 1]);
  };

  if (widthBefore[lastChunk] <= limit) {
    AppendRow(printList, label, line);
    return;
  }
  qsizetype start = 0;
  std::size_t startChunk = 0;  // the chunk that holds `start`
  do {
    // The shortest prefix of the remainder that reaches the limit, character by character.
    // The whole remainder reaches the limit, so the search may stop at its end unmeasured.
    qsizetype end = start;
    qint64 widthBeforeChunk = 0;  // from `start` to the start of the chunk being searched
    for (std::size_t chunk = startChunk;; ++chunk) {
      const qsizetype from = std::max(chunkStarts[chunk], start);
      const qsizetype chunkEnd = chunkStarts[chunk + 1];
      const bool wholeChunk = from == chunkStarts[chunk];
      bool reached = false;
      qint64 widthInChunk = 0;
      while (end < chunkEnd) {
        end = NextCharacterEnd(line, end);
        if (end == size) {
          reached = true;
          break;
        }
        widthInChunk = end == chunkEnd && wholeChunk ? widthBefore[chunk + 1] - widthBefore[chunk]
                                                    : measure(from, end);
        if (widthBeforeChunk + widthInChunk >= limit) {
          reached = true;
          break;
        }
      }
      if (reached) break;
      widthBeforeChunk += widthInChunk;
    }
    AppendRow(printList, label, line.mid(start, end - start));
    start = end;
    while (chunkStarts[startChunk + 1] <= start && startChunk + 1 < lastChunk) ++startChunk;
  } while (start < size && widthToChunkEnd(startChunk, start) +
                                   (widthBefore[lastChunk] - widthBefore[startChunk + 1]) >=
                               limit);
  AppendRow(printList, label, line.mid(start));
}

}  // namespace

int ReadSelectionNumber(const QString& field) {
  qsizetype position = 0;
  const qsizetype size = field.size();
  while (position < size && (field[position] == u' ' || field[position] == u'\t')) ++position;

  bool negative = false;
  if (position < size && (field[position] == u'+' || field[position] == u'-')) {
    negative = field[position] == u'-';
    ++position;
  }

  int base = 10;
  if (position < size && field[position] == u'$') {
    base = 16;
    ++position;
  } else if (position < size && field[position] == u'%') {
    base = 2;
    ++position;
  }

  std::uint64_t magnitude = 0;
  for (; position < size; ++position) {
    const int digit = DigitValue(field[position].unicode());
    if (digit >= base) break;
    magnitude = std::min(magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit),
                         kNumberCeiling);
  }

  const qint64 value = negative ? -static_cast<qint64>(magnitude) : static_cast<qint64>(magnitude);
  return static_cast<int>(std::clamp<qint64>(value, std::numeric_limits<int>::min(),
                                             std::numeric_limits<int>::max()));
}

LineRange DetermineLineRange(const QString& selection, int lineCount) {
  const LineRange wholeSource{1, std::max(lineCount, 0)};
  if (selection.count(kSelectionSeparator) != 3) return wholeSource;

  const QStringList fields = selection.split(kSelectionSeparator);
  if (fields[0] == fields[2] && fields[1] == fields[3]) return wholeSource;

  const int startLine = ReadSelectionNumber(fields[0]);
  if (startLine < 1 || startLine > lineCount) return wholeSource;
  // The walk prints its start line before it tests the end, so an end before the start still
  // prints the start line; an end past the source stops at its last line.
  const int endLine = std::clamp(ReadSelectionNumber(fields[2]), startLine, lineCount);
  return LineRange{startLine, endLine};
}

int EffectiveWrapLimit(int wrapLimit, int textColumnDeviceX, int printableWidth, int widestAdvance) {
  if (qint64{textColumnDeviceX} + wrapLimit <= printableWidth) return wrapLimit;
  const qint64 fitting = qint64{printableWidth} - textColumnDeviceX - widestAdvance;
  return static_cast<int>(std::clamp<qint64>(fitting, 1, std::numeric_limits<int>::max()));
}

QString ExpandTabs(const QString& line) {
  if (!line.contains(u'\t')) return line;
  QString expanded;
  expanded.reserve(line.size() + line.count(u'\t') * (kTabStop - 1));
  for (const QChar unit : line) {
    if (unit == u'\t') {
      expanded.append(QString(kTabStop - expanded.size() % kTabStop, u' '));
    } else {
      expanded.append(unit);
    }
  }
  return expanded;
}

void WrapLine(DrawingSurface& surface, const QString& line, int wrapLimit, const QString& label,
              PrintList& printList) {
  AdvanceMemo memo(surface);
  WrapLineWithMemo(memo, line, wrapLimit, label, printList);
}

RangeWrapper::RangeWrapper(DrawingSurface& surface, const QStringList& sourceLines, LineRange range,
                           int wrapLimit)
    : memo_(std::make_unique<AdvanceMemo>(surface)), sourceLines_(sourceLines), wrapLimit_(wrapLimit) {
  const qsizetype lineCount = sourceLines.size();
  if (range.startLine < 1 || range.startLine > lineCount) return;  // no line to print
  nextLine_ = range.startLine;
  // The walk's body comes before its test: an end before the start still prints the start line.
  lastLine_ = std::min<qint64>(std::max(range.endLine, range.startLine), lineCount);
}

RangeWrapper::~RangeWrapper() = default;

bool RangeWrapper::AtEnd() const { return nextLine_ > lastLine_; }

void RangeWrapper::WrapNextLine(PrintList& rows) {
  if (AtEnd()) return;
  const qint64 lineNumber = nextLine_++;
  WrapLineWithMemo(*memo_, ExpandTabs(sourceLines_[lineNumber - 1]), wrapLimit_, QString::number(lineNumber),
                   rows);
}

void BuildPrintList(DrawingSurface& surface, const QStringList& sourceLines, LineRange range,
                    int wrapLimit, PrintList& printList) {
  RangeWrapper wrapper(surface, sourceLines, range, wrapLimit);
  while (!wrapper.AtEnd()) wrapper.WrapNextLine(printList);
}

}  // namespace folivane
