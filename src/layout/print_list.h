// The print list: which source lines a selection asks for, and their rows wrapped to the wrap limit.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

#include "surface/drawing_surface.h"

namespace folivane {

struct PrintRow {
  QString label;  // the source line number in decimal
  QString text;   // the part of the line drawn on this row; may be empty
};
using PrintList = QList<PrintRow>;

// 1-based, both ends inclusive.
struct LineRange {
  int startLine = 1;
  int endLine = 0;
};

// The lines that the IDE's selection text ("12x5x20x1") asks for, within lineCount source lines.
LineRange DetermineLineRange(const QString& selection, int lineCount);

// The wrap limit actually used: wrapLimit itself wherever a row of that width fits between the
// text column and the right edge of the printable area, else what does fit.
int EffectiveWrapLimit(int wrapLimit, int textColumnDeviceX, int printableWidth, int widestAdvance);

struct AdvanceMemo;

// Wraps the lines of a range one after another, measured with the surface's current font, with
// what it learns of the font kept for the whole range. A caller that prints each line's rows
// before wrapping the next holds the rows of one line at a time, however long the job.
class RangeWrapper {
 public:
  RangeWrapper(DrawingSurface& surface, const QStringList& sourceLines, LineRange range, int wrapLimit);
  ~RangeWrapper();
  RangeWrapper(const RangeWrapper&) = delete;
  RangeWrapper& operator=(const RangeWrapper&) = delete;

  bool AtEnd() const;
  // The number of the line that comes next, and of the range's last line.
  qint64 NextLine() const { return nextLine_; }
  qint64 LastLine() const { return lastLine_; }
  // Appends the rows of the next line of the range to `rows`.
  void WrapNextLine(PrintList& rows);

 private:
  std::unique_ptr<AdvanceMemo> memo_;
  const QStringList& sourceLines_;
  int wrapLimit_;
  qint64 nextLine_ = 1;
  qint64 lastLine_ = 0;
};

// Appends the rows of every line of the range, measured with the surface's current font.
void BuildPrintList(DrawingSurface& surface, const QStringList& sourceLines, LineRange range,
                    int wrapLimit, PrintList& printList);

// A selection field read as a number: leading blanks and tabs skipped, an optional sign, then
// decimal digits ("$" before hexadecimal, "%" before binary ones) up to the first non-digit.
// No digits read as 0; values beyond 32 bits saturate.
int ReadSelectionNumber(const QString& field);

// The line with every tab replaced by blanks up to the next multiple of 4 columns (UTF-16 units).
QString ExpandTabs(const QString& line);

// Appends the rows of one line: the shortest prefixes of the remaining text that reach the wrap
// limit, then the rest (empty when the last fragment used up the line). A row never ends between
// the two halves of a surrogate pair. A wrap limit below 1 counts as 1.
// Widths are summed over the chunks between additive cuts, where the surface promises that
// widths add up, measuring each longer chunk once and only the chunk in which a row ends: the
// work grows with the line's length, and the rows are those of every candidate measured whole.
void WrapLine(DrawingSurface& surface, const QString& line, int wrapLimit, const QString& label,
              PrintList& printList);

}  // namespace folivane
