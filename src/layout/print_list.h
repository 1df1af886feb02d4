// The print list: which source lines a selection asks for, and their rows wrapped to the wrap limit.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

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

// Appends the rows of every line of the range, measured with the surface's current font.
void BuildPrintList(DrawingSurface& surface, const QStringList& sourceLines, LineRange range,
                    int wrapLimit, PrintList& printList);

}  // namespace folivane
