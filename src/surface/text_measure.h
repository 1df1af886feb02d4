// Text measuring shared by the drawing surfaces: widths that add up at additive cuts, and the pieces
// a text is measured and drawn in.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QList>
#include <QPointF>
#include <QRawFont>
#include <QString>
#include <QStringView>
#include <QTextBoundaryFinder>
#include <array>
#include <map>
#include <optional>
#include <unordered_map>
#include <vector>

#include "surface/additive_cuts.h"

class QPaintDevice;

namespace folivane {

// Qt widens a tab to the next tab stop, so its width would hang on everything before it and no
// width could be added up from pieces. The surfaces draw and measure a tab as one blank, as the
// printer drivers of the original platform show a control character: lines arrive with their
// tabs already expanded.
QString WithoutTabs(const QString& text);

int ClampToInt(qint64 value);

// Measures texts in the selected font at the resolution of a paint device. Widths are those of
// Qt's shaping with full hinting, so they are whole device pixels.
class TextMeasurer {
 public:
  // How wide one UTF-16 unit may be drawn, in em: wide fallback glyphs and ligature forms such as
  // U+FDFD reach a few em; the bound keeps a whole-measured text well inside Qt's ceiling.
  static constexpr int kWidestUnitInEm = 8;

  // Measures on `device`; null measures nothing (every width 0, no additive advance).
  void SetDevice(const QPaintDevice* device);
  void SelectFont(const QFont& font);
  const QFont& CurrentFont() const { return currentFont_; }
  // Names the current font with what changes its advances; empty without a device.
  QString FontKey();

  // The operations of DrawingSurface with the same names.
  int MeasureText(const QString& text);
  int AdditiveAdvance(char16_t unit) {
    // Asked for every unit of every row twice (wrapped, then drawn): the known answer comes inline.
    if (advanceCache_ != nullptr && advanceCache_->additiveFont) {
      const int known = advanceCache_->advances[unit];
      if (known != kUnknownAdvance) return known;
    }
    return LookUpAdditiveAdvance(unit);
  }
  int WidestAdvance();
  const QFontMetrics& Metrics();
  // The current font's ascent, descent and height, asked for every row drawn: Qt finds the font's
  // engine again on every question.
  struct VerticalMetrics {
    int ascent = 0;
    int descent = 0;
    int height = 0;
  };
  VerticalMetrics Vertical();

  // Walks the text in consecutive pieces and calls visit(from, to, width, plain) for each. The
  // text is first cut into chunks at every additive cut (the units on both sides have an additive
  // advance). A plain piece is a run of one-unit chunks, as wide as the sum of their advances;
  // every other chunk is a shaped piece, shaped and measured on its own. The width of a text is
  // the sum of its pieces' widths, so widths add up at additive cuts whatever Qt's shaping would
  // make of the context beyond a cut (the script of neutral characters next to a fallback symbol
  // or a right-to-left word, for one). No piece is longer than Qt can measure in one call.
  template <typename Visit>
  void ForEachPiece(QStringView text, Visit visit);

  // The glyphs of a plain piece in the current font and their x positions from 0, placed by the
  // additive advances without shaping; false when a unit has none. The font stays valid until
  // the device changes.
  bool PlacePlainGlyphs(QStringView text, const QRawFont*& font, QList<quint32>& glyphs, QList<QPointF>& positions);

 private:
  // Advances of single units of one font, filled on demand; kUnknownAdvance until asked.
  struct AdvanceCache {
    bool additiveFont = false;
    std::vector<int> advances;
    QRawFont rawFont;  // the font's glyphs at the device's resolution, for pre-placed text
    // Widths of short shaped texts: the same few pieces (a replacement character between the
    // same neighbours, say) come back on many lines, each measured when wrapped and when drawn.
    std::unordered_map<QString, qint64> shortWidths;
    // The longer texts measured last: the texts of a page's header and footer are measured
    // again on every page, each when placed and when drawn.
    std::array<std::pair<QString, qint64>, 4> recentWidths;
    std::size_t nextRecent = 0;
    std::vector<bool> seenUnits;       // by UTF-16 unit: measured in this font before
    std::vector<quint32> glyphOfUnit;  // by UTF-16 unit with an additive advance, as far as asked
    QString key;
    std::optional<QFontMetrics> metrics;
    std::optional<VerticalMetrics> vertical;
    qsizetype wholeMeasureUnits = 0;  // 0 until computed
  };
  static constexpr qsizetype kShortTextUnits = 16;
  static constexpr std::size_t kShortWidthsKept = 16384;
  static constexpr qsizetype kRecentTextUnits = 256;
  // The fonts selected last, found again without making their key: a page selects each of the
  // header's, the footer's and the body's fonts in turn.
  static constexpr std::size_t kRecentFonts = 8;

  static constexpr int kUnknownAdvance = -2;
  static constexpr quint32 kUnknownGlyph = 0xFFFFFFFF;
  // The glyphs of the units below this are kept (48 KB a font at most); the scripts with additive
  // advances lie below it.
  static constexpr char16_t kGlyphUnitsKept = 0x3000;
  quint32 LookUpGlyph(AdvanceCache& cache, char16_t unit);
  int LookUpAdditiveAdvance(char16_t unit);
  qsizetype WholeMeasureUnits();
  qint64 MeasureWhole(QStringView text);
  int ComputeAdditiveAdvance(char16_t unit);
  AdvanceCache& CurrentAdvanceCache();

  const QPaintDevice* device_ = nullptr;
  QFont currentFont_;
  std::optional<QFontMetrics> metrics_;  // without a device
  AdvanceCache* advanceCache_ = nullptr;
  std::map<QString, AdvanceCache> advanceCaches_;
  std::vector<std::pair<QFont, AdvanceCache*>> recentFonts_;
};

// Where the text ends the piece of a stretch without additive cuts that begins at `start`: at most
// `limit` units on, between two grapheme clusters where there is one, and never between the two
// halves of a surrogate pair.
qsizetype ClusterPieceEnd(QStringView text, QTextBoundaryFinder& graphemes, qsizetype start, qsizetype limit);

template <typename Visit>
void TextMeasurer::ForEachPiece(QStringView text, Visit visit) {
  const qsizetype limit = WholeMeasureUnits();
  const qsizetype size = text.size();
  qsizetype plainStart = 0;
  qint64 plainWidth = 0;
  auto finishPlain = [&](qsizetype end) {
    if (end > plainStart) visit(plainStart, end, plainWidth, true);
    plainStart = end;
    plainWidth = 0;
  };
  const auto advanceOf = [this](char16_t unit) { return AdditiveAdvance(unit); };
  ForEachAdditiveChunk(text, advanceOf, [&](qsizetype chunkStart, qsizetype chunkEnd, int advance) {
    const qsizetype chunkSize = chunkEnd - chunkStart;
    if (advance >= 0) {
      if (chunkEnd - plainStart > limit) finishPlain(chunkStart);
      plainWidth += advance;
    } else {
      finishPlain(chunkStart);
      const QStringView chunk = text.sliced(chunkStart, chunkSize);
      if (chunkSize <= limit) {
        visit(chunkStart, chunkEnd, MeasureWhole(chunk), false);
      } else {
        // Too long to be measured in one call, and without an additive cut: cut between
        // grapheme clusters, across which no font shapes in a way a page would show.
        QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, chunk);
        for (qsizetype from = 0; from < chunkSize;) {
          const qsizetype to = ClusterPieceEnd(chunk, graphemes, from, limit);
          visit(chunkStart + from, chunkStart + to, MeasureWhole(chunk.sliced(from, to - from)), false);
          from = to;
        }
      }
      plainStart = chunkEnd;
    }
  });
  finishPlain(size);
}

}  // namespace folivane
