// The wrapping rule as it is written, every candidate text measured whole: the oracle that the
// fast wrapping of the print list is checked against.
#pragma once

#include <QString>
#include <algorithm>

#include "layout/print_list.h"
#include "surface/drawing_surface.h"

namespace folivane {

// Appends the rows of one line: the shortest prefixes of the remaining text that reach the wrap
// limit, then the rest. A surrogate pair is never split; a limit below 1 counts as 1.
inline void WrapLineLiteral(DrawingSurface& surface, const QString& line, int wrapLimit, const QString& label,
                            PrintList& rows) {
  const int limit = std::max(wrapLimit, 1);
  const qsizetype size = line.size();
  const auto width = [&](qsizetype from, qsizetype to) -> qint64 {
    return to <= from ? 0 : surface.MeasureText(line.mid(from, to - from));
  };
  const auto nextEnd = [&](qsizetype position) -> qsizetype {
    const bool pair = position + 1 < size && line[position].isHighSurrogate() && line[position + 1].isLowSurrogate();
    return position + (pair ? 2 : 1);
  };
  if (width(0, size) <= limit) {
    rows.append(PrintRow{label, line});
    return;
  }
  qsizetype start = 0;
  do {
    qsizetype end = nextEnd(start);
    while (end < size && width(start, end) < limit) end = nextEnd(end);
    rows.append(PrintRow{label, line.mid(start, end - start)});
    start = end;
  } while (start < size && width(start, size) >= limit);
  rows.append(PrintRow{label, line.mid(start)});
}

}  // namespace folivane
