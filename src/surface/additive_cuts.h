// Additive cuts: where a text may be cut so that its width is exactly the sum of its pieces'.
#pragma once

#include <QStringView>

namespace folivane {

// Cuts a text into chunks, one at a time, in order. Chunks end at additive cuts: places where the
// units on both sides have an additive advance (advanceOf(unit) >= 0, as
// DrawingSurface::AdditiveAdvance promises). A chunk's `advance` is the unit's advance for a chunk
// of one unit that has one, else -1: such a chunk is as wide as its advance, any other is measured
// whole. Cutting as the caller goes lets a long text be walked without a list of all its chunks.
template <typename AdvanceOf>
class AdditiveChunker {
 public:
  AdditiveChunker(QStringView text, AdvanceOf advanceOf) : text_(text), advanceOf_(advanceOf) {
    if (!text_.isEmpty()) startAdvance_ = advanceOf_(text_[0].unicode());
  }

  // The next chunk; false after the last.
  bool Next(qsizetype& start, qsizetype& end, int& advance) {
    const qsizetype size = text_.size();
    if (chunkStart_ >= size) return false;
    qsizetype chunkEnd = chunkStart_ + 1;
    int previousAdvance = startAdvance_;
    int nextAdvance = -1;
    for (; chunkEnd < size; ++chunkEnd) {
      nextAdvance = advanceOf_(text_[chunkEnd].unicode());
      if (previousAdvance >= 0 && nextAdvance >= 0) break;
      previousAdvance = nextAdvance;
    }
    start = chunkStart_;
    end = chunkEnd;
    advance = chunkEnd - chunkStart_ == 1 ? startAdvance_ : -1;
    chunkStart_ = chunkEnd;
    startAdvance_ = nextAdvance;
    return true;
  }

 private:
  QStringView text_;
  AdvanceOf advanceOf_;
  qsizetype chunkStart_ = 0;
  int startAdvance_ = -1;
};

// Calls visit(start, end, advance) for each chunk of the text, as AdditiveChunker cuts them.
template <typename AdvanceOf, typename Visit>
void ForEachAdditiveChunk(QStringView text, AdvanceOf advanceOf, Visit visit) {
  AdditiveChunker<AdvanceOf> chunker(text, advanceOf);
  qsizetype start = 0;
  qsizetype end = 0;
  int advance = -1;
  while (chunker.Next(start, end, advance)) visit(start, end, advance);
}

}  // namespace folivane
