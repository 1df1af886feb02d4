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
  // The window of chunks that ChunkWindow keeps.
  std::vector<qsizetype> chunkStarts;
  std::vector<qint64> widthBefore;
};

namespace {

int AdditiveAdvanceOf(AdvanceMemo& memo, char16_t unit) {
  int& advance = memo.advanceOfUnit[unit];
  if (advance == kAdvanceNotAsked) advance = std::max(memo.surface.AdditiveAdvance(unit), -1);
  return advance;
}

struct MemoAdvance {
  AdvanceMemo* memo;
  int operator()(char16_t unit) const { return AdditiveAdvanceOf(*memo, unit); }
};

// Dropping the chunks behind the current row costs a move of those ahead of it; waiting until
// this many have gathered, and they outnumber the rest, keeps that cost small.
constexpr std::size_t kDroppedChunksAtOnce = 4096;
// Cutting a stretch at a time keeps the cutter out of the wrapping's inner loop.
constexpr std::size_t kChunksCutAhead = 64;

// The position just past the character at `position`: a surrogate pair is one character.
qsizetype NextCharacterEnd(const QString& text, qsizetype position) {
  if (position + 1 < text.size() && QChar::isHighSurrogate(text[position].unicode()) &&
      QChar::isLowSurrogate(text[position + 1].unicode())) {
    return position + 2;
  }
  return position + 1;
}

qint64 ChunkWidth(AdvanceMemo& memo, const QString& line, qsizetype start, qsizetype end, int advance) {
  return advance >= 0 ? advance : memo.surface.MeasureText(line.mid(start, end - start));
}

// The width of the whole line, summed over its chunks as ChunkWindow sums them. A text may
// measure narrower than a part of it (a mark that pulls its base in), so whether the rest of a
// line reaches the limit is known only at its end.
qint64 LineWidth(AdvanceMemo& memo, const QString& line) {
  AdditiveChunker<MemoAdvance> chunker(line, MemoAdvance{&memo});
  qint64 width = 0;
  qsizetype start = 0;
  qsizetype end = 0;
  int advance = -1;
  while (chunker.Next(start, end, advance)) width += ChunkWidth(memo, line, start, end, advance);
  return width;
}

// The line cut into chunks at every additive cut (both neighbours have an additive advance), where
// the surface promises that widths add up. Cut as the wrapping walks the line and dropped behind
// it, so a line of any length costs about a row's chunks, not a list as long as the line (a
// megabyte line would otherwise take 16 MB of fresh memory). Entry k is where chunk k starts and
// the width of the line before it; the entry after the last chunk stands at the line's end.
class ChunkWindow {
 public:
  ChunkWindow(AdvanceMemo& memo, const QString& line) : memo_(memo), line_(line), chunker_(line, MemoAdvance{&memo}) {
    memo_.chunkStarts.assign(1, 0);
    memo_.widthBefore.assign(1, 0);
  }

  // Whether entry k exists, cutting as far as it.
  bool Reach(std::size_t k) { return k < first_ + memo_.chunkStarts.size() || CutUpTo(k); }
  // Entry k, which must exist.
  qsizetype Start(std::size_t k) {
    Reach(k);
    return memo_.chunkStarts[k - first_];
  }
  qint64 WidthBefore(std::size_t k) {
    Reach(k);
    return memo_.widthBefore[k - first_];
  }
  // Cuts on to entry k and some way past it, as the walk goes on for a row at least; false when
  // the line ends before entry k.
  bool CutUpTo(std::size_t k) {
    const std::size_t wanted = k + kChunksCutAhead;
    while (wanted >= first_ + memo_.chunkStarts.size()) {
      qsizetype start = 0;
      qsizetype end = 0;
      int advance = -1;
      if (!chunker_.Next(start, end, advance)) break;
      width_ += ChunkWidth(memo_, line_, start, end, advance);
      memo_.chunkStarts.push_back(end);
      memo_.widthBefore.push_back(width_);
    }
    return k < first_ + memo_.chunkStarts.size();
  }

  // The wrapping's search over whole chunks of one character each, which have no part to
  // measure: from chunk k on, while such a chunk is not the line's last and `width` with it
  // stays below `limit`, adds its width to `width`. Returns the first chunk not passed.
  std::size_t PassNarrowCharacters(std::size_t k, qint64& width, qint64 limit) {
    for (;; ++k) {
      if (!Reach(k + 1)) return k;
      const std::size_t at = k - first_;
      const qsizetype end = memo_.chunkStarts[at + 1];
      if (end == line_.size() || end != NextCharacterEnd(line_, memo_.chunkStarts[at])) return k;
      const qint64 widened = width + memo_.widthBefore[at + 1] - memo_.widthBefore[at];
      if (widened >= limit) return k;
      width = widened;
    }
  }

  // Entries before k are no longer asked for.
  void DropBefore(std::size_t k) {
    const std::size_t dropped = k - first_;
    if (dropped < kDroppedChunksAtOnce || dropped * 2 < memo_.chunkStarts.size()) return;
    memo_.chunkStarts.erase(memo_.chunkStarts.begin(), memo_.chunkStarts.begin() + dropped);
    memo_.widthBefore.erase(memo_.widthBefore.begin(), memo_.widthBefore.begin() + dropped);
    first_ = k;
  }

 private:
  AdvanceMemo& memo_;
  const QString& line_;
  AdditiveChunker<MemoAdvance> chunker_;
  std::size_t first_ = 0;  // the number of the first entry kept
  qint64 width_ = 0;       // of the line up to the last entry
};

int DigitValue(char16_t unit) {
  if (unit >= u'0' && unit <= u'9') return unit - u'0';
  if (unit >= u'a' && unit <= u'f') return unit - u'a' + 10;
  if (unit >= u'A' && unit <= u'F') return unit - u'A' + 10;
  return std::numeric_limits<int>::max();
}

// A wrap limit below 1 would let an empty remainder count as wide enough to split forever.
int UsableWrapLimit(int wrapLimit) { return std::max(wrapLimit, 1); }

void AppendRow(PrintList& printList, const QString& label, const QString& text) {
  printList.append(PrintRow{label, text});
}

// The wrapping rule with widths summed over chunks. A text that begins or ends inside a chunk is
// measured whole from its start to the chunk's end, or from the chunk's start to its end; every
// other chunk it covers counts with its known width. The rows are those of the rule measured whole.
void WrapLineWithMemo(AdvanceMemo& memo, const QString& line, int wrapLimit, const QString& label,
                      PrintList& printList) {
  const int limit = UsableWrapLimit(wrapLimit);
  const qsizetype size = line.size();
  ChunkWindow chunks(memo, line);

  auto measure = [&](qsizetype from, qsizetype to) -> qint64 {
    return memo.surface.MeasureText(line.mid(from, to - from));
  };
  auto chunkWidth = [&](std::size_t chunk) -> qint64 {
    return chunks.WidthBefore(chunk + 1) - chunks.WidthBefore(chunk);
  };
  // Width from `from` (inside chunk `chunk`) to the end of that chunk.
  auto widthToChunkEnd = [&](std::size_t chunk, qsizetype from) -> qint64 {
    if (from == chunks.Start(chunk)) return chunkWidth(chunk);
    return measure(from, chunks.Start(chunk + 1));
  };

  const qint64 lineWidth = LineWidth(memo, line);
  if (lineWidth <= limit) {
    AppendRow(printList, label, line);
    return;
  }
  qsizetype start = 0;
  std::size_t startChunk = 0;  // the chunk that holds `start`
  auto remainderReachesLimit = [&] {
    return widthToChunkEnd(startChunk, start) + (lineWidth - chunks.WidthBefore(startChunk + 1)) >= limit;
  };
  do {
    // The shortest prefix of the remainder that reaches the limit, character by character.
    // The whole remainder reaches the limit, so the search may stop at its end unmeasured.
    qsizetype end = start;
    qint64 widthBeforeChunk = 0;  // from `start` to the start of the chunk being searched
    for (std::size_t chunk = startChunk;; ++chunk) {
      if (end == chunks.Start(chunk)) {
        chunk = chunks.PassNarrowCharacters(chunk, widthBeforeChunk, limit);
        end = chunks.Start(chunk);
      }
      const qsizetype from = std::max(chunks.Start(chunk), start);
      const qsizetype chunkEnd = chunks.Start(chunk + 1);
      const bool wholeChunk = from == chunks.Start(chunk);
      bool reached = false;
      qint64 widthInChunk = 0;
      while (end < chunkEnd) {
        end = NextCharacterEnd(line, end);
        if (end == size) {
          reached = true;
          break;
        }
        widthInChunk = end == chunkEnd && wholeChunk ? chunkWidth(chunk) : measure(from, end);
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
    if (start < size) {
      while (chunks.Start(startChunk + 1) <= start) ++startChunk;
      chunks.DropBefore(startChunk);
    }
  } while (start < size && remainderReachesLimit());
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
    magnitude =
        std::min(magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit), kNumberCeiling);
  }

  const qint64 value = negative ? -static_cast<qint64>(magnitude) : static_cast<qint64>(magnitude);
  return static_cast<int>(std::clamp<qint64>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
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

void WrapLine(DrawingSurface& surface, const QString& line, int wrapLimit, const QString& label, PrintList& printList) {
  AdvanceMemo memo(surface);
  WrapLineWithMemo(memo, line, wrapLimit, label, printList);
}

RangeWrapper::RangeWrapper(DrawingSurface& surface, const QStringList& sourceLines, LineRange range, int wrapLimit)
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
  WrapLineWithMemo(*memo_, ExpandTabs(sourceLines_[lineNumber - 1]), wrapLimit_, QString::number(lineNumber), rows);
}

void BuildPrintList(DrawingSurface& surface, const QStringList& sourceLines, LineRange range, int wrapLimit,
                    PrintList& printList) {
  RangeWrapper wrapper(surface, sourceLines, range, wrapLimit);
  while (!wrapper.AtEnd()) wrapper.WrapNextLine(printList);
}

}  // namespace folivane
