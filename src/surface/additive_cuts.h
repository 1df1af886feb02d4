// Additive cuts: where a text may be cut so that its width is exactly the sum of its pieces'.
#pragma once

#include <QStringView>

namespace folivane {

// Calls visit(start, end, advance) for each chunk of the text, in order. Chunks end at additive
// cuts: places where the units on both sides have an additive advance (advanceOf(unit) >= 0, as
// DrawingSurface::AdditiveAdvance promises). `advance` is the unit's advance for a chunk of one
// unit that has one, else -1: such a chunk is as wide as its advance, any other is measured whole.
template <typename AdvanceOf, typename Visit>
void ForEachAdditiveChunk(QStringView text, AdvanceOf advanceOf, Visit visit) {
  const qsizetype size = text.size();
  if (size == 0) return;
  qsizetype chunkStart = 0;
  int startAdvance = advanceOf(text[0].unicode());
  while (chunkStart < size) {
    qsizetype chunkEnd = chunkStart + 1;
    int previousAdvance = startAdvance;
    int nextAdvance = -1;
    for (; chunkEnd < size; ++chunkEnd) {
      nextAdvance = advanceOf(text[chunkEnd].unicode());
      if (previousAdvance >= 0 && nextAdvance >= 0) break;
      previousAdvance = nextAdvance;
    }
    visit(chunkStart, chunkEnd, chunkEnd - chunkStart == 1 ? startAdvance : -1);
    chunkStart = chunkEnd;
    startAdvance = nextAdvance;
  }
}

}  // namespace folivane
