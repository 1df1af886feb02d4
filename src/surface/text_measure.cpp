#include "surface/text_measure.h"

#include <QFontInfo>
#include <algorithm>
#include <limits>

namespace folivane {

namespace {

constexpr int kUnitCount = 0x10000;
// Qt adds advances in 26.6 fixed point held in 32 bits: a text measured in one call must stay
// below 2^25 device pixels or its width wraps around.
constexpr qint64 kFixedPointPixelCeiling = qint64{1} << 25;

// Scripts whose letters keep their own advance next to any neighbour in a font that does not kern:
// no joining forms, no reordering, no clusters.
bool IsSimpleScript(QChar::Script script) {
  switch (script) {
    case QChar::Script_Common:
    case QChar::Script_Latin:
    case QChar::Script_Greek:
    case QChar::Script_Cyrillic: return true;
    default: return false;
  }
}

bool CanStandAlone(QChar unit) {
  if (unit.isSurrogate()) return false;
  switch (unit.category()) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph: return false;
    default: break;
  }
  return unit.joiningType() == QChar::Joining_None && IsSimpleScript(unit.script());
}

}  // namespace

QString WithoutTabs(const QString& text) {
  if (!text.contains(u'\t')) return text;
  QString blanked = text;
  blanked.replace(u'\t', u' ');
  return blanked;
}

int ClampToInt(qint64 value) {
  return static_cast<int>(std::clamp<qint64>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

qsizetype ClusterPieceEnd(QStringView text, QTextBoundaryFinder& graphemes, qsizetype start, qsizetype limit) {
  if (text.size() - start <= limit) return text.size();
  graphemes.setPosition(start + limit);
  qsizetype end = graphemes.isAtBoundary() ? start + limit : graphemes.toPreviousBoundary();
  if (end > start) return end;
  end = start + limit;
  if (QChar::isHighSurrogate(text[end - 1].unicode()) && QChar::isLowSurrogate(text[end].unicode())) {
    end += end - 1 > start ? -1 : 1;
  }
  return end;
}

void TextMeasurer::SetDevice(const QPaintDevice* device) {
  device_ = device;
  // Advances belong to the device's resolution.
  recentFonts_.clear();
  advanceCaches_.clear();
  SelectFont(currentFont_);
}

void TextMeasurer::SelectFont(const QFont& font) {
  currentFont_ = font;
  metrics_.reset();
  advanceCache_ = nullptr;
  for (const auto& [recent, cache] : recentFonts_) {
    if (recent == font) {
      advanceCache_ = cache;
      break;
    }
  }
}

QString TextMeasurer::FontKey() { return device_ ? CurrentAdvanceCache().key : QString(); }

const QFontMetrics& TextMeasurer::Metrics() {
  std::optional<QFontMetrics>& metrics = device_ ? CurrentAdvanceCache().metrics : metrics_;
  if (!metrics) metrics.emplace(currentFont_, device_);
  return *metrics;
}

TextMeasurer::VerticalMetrics TextMeasurer::Vertical() {
  std::optional<VerticalMetrics> withoutDevice;
  std::optional<VerticalMetrics>& vertical = device_ ? CurrentAdvanceCache().vertical : withoutDevice;
  if (!vertical) {
    const QFontMetrics& metrics = Metrics();
    vertical = VerticalMetrics{metrics.ascent(), metrics.descent(), metrics.height()};
  }
  return *vertical;
}

qsizetype TextMeasurer::WholeMeasureUnits() {
  qsizetype withoutDevice = 0;
  qsizetype& units = device_ ? CurrentAdvanceCache().wholeMeasureUnits : withoutDevice;
  if (units == 0) {
    const QFontMetrics& metrics = Metrics();
    const qint64 em = std::max({metrics.maxWidth(), metrics.height(), 1});
    units = std::max<qint64>(1, (kFixedPointPixelCeiling - 1) / (kWidestUnitInEm * em));
  }
  return units;
}

qint64 TextMeasurer::MeasureWhole(QStringView text) {
  AdvanceCache& cache = CurrentAdvanceCache();
  QString key = text.toString();
  if (text.size() <= kShortTextUnits) {
    if (const auto found = cache.shortWidths.find(key); found != cache.shortWidths.end()) return found->second;
    if (cache.shortWidths.size() >= kShortWidthsKept) cache.shortWidths.clear();
  } else if (text.size() <= kRecentTextUnits) {
    for (const auto& [recent, width] : cache.recentWidths) {
      if (recent == key) return width;
    }
  }
  // Qt loads a fallback font the first time a character needs it, and the text measured in that
  // same call can come out a few pixels off (30 px on a row with a fullwidth letter after a
  // combining mark): a text with a unit this font has not measured before is measured twice,
  // the second time with every font it needs at hand.
  bool unseen = false;
  if (cache.seenUnits.empty()) cache.seenUnits.assign(kUnitCount, false);
  for (QChar unit : text) {
    if (!cache.seenUnits[unit.unicode()]) {
      cache.seenUnits[unit.unicode()] = true;
      unseen = true;
    }
  }
  if (unseen) Metrics().horizontalAdvance(key);
  const qint64 width = Metrics().horizontalAdvance(key);
  if (text.size() <= kShortTextUnits) {
    cache.shortWidths.emplace(std::move(key), width);
  } else if (text.size() <= kRecentTextUnits) {
    cache.recentWidths[cache.nextRecent] = {std::move(key), width};
    cache.nextRecent = (cache.nextRecent + 1) % cache.recentWidths.size();
  }
  return width;
}

int TextMeasurer::MeasureText(const QString& original) {
  if (original.isEmpty() || !device_) return 0;
  const QString text = WithoutTabs(original);
  qint64 width = 0;
  ForEachPiece(text, [&](qsizetype, qsizetype, qint64 pieceWidth, bool) { width += pieceWidth; });
  return ClampToInt(width);
}

int TextMeasurer::WidestAdvance() {
  if (!device_) return 0;
  return Metrics().maxWidth();
}

TextMeasurer::AdvanceCache& TextMeasurer::CurrentAdvanceCache() {
  if (advanceCache_ != nullptr) return *advanceCache_;
  // QFont::key leaves out kerning and hinting, which change advances.
  const QString key = currentFont_.key() + QLatin1Char('/') + QString::number(currentFont_.kerning()) +
                      QLatin1Char('/') + QString::number(currentFont_.hintingPreference());
  auto [entry, created] = advanceCaches_.try_emplace(key);
  advanceCache_ = &entry->second;
  if (recentFonts_.size() >= kRecentFonts) recentFonts_.erase(recentFonts_.begin());
  recentFonts_.emplace_back(currentFont_, advanceCache_);
  if (created) {
    advanceCache_->key = key;
    const QFont deviceFont(currentFont_, device_);
    advanceCache_->additiveFont = QFontInfo(deviceFont).fixedPitch() && !currentFont_.kerning();
    if (advanceCache_->additiveFont) {
      advanceCache_->advances.assign(kUnitCount, kUnknownAdvance);
      advanceCache_->rawFont = QRawFont::fromFont(deviceFont);
    }
  }
  return *advanceCache_;
}

int TextMeasurer::LookUpAdditiveAdvance(char16_t unit) {
  if (!device_) return -1;
  AdvanceCache& cache = CurrentAdvanceCache();
  if (!cache.additiveFont) return -1;
  int& cached = cache.advances[unit];
  if (cached == kUnknownAdvance) cached = ComputeAdditiveAdvance(unit);
  return cached;
}

int TextMeasurer::ComputeAdditiveAdvance(char16_t unit) {
  const QChar character(unit);
  if (!CanStandAlone(character)) return -1;
  // Characters the font lacks come from fallback fonts, whose advances follow other rules.
  const QRawFont& rawFont = CurrentAdvanceCache().rawFont;
  if (!rawFont.isValid() || !rawFont.supportsCharacter(character)) return -1;
  const qint64 single = MeasureWhole(QString(character));
  if (single < 0) return -1;
  // A pair must measure as twice the single unit, or the font does more than place advances.
  if (MeasureWhole(QString(2, character)) != 2 * single) return -1;
  return static_cast<int>(single);
}

bool TextMeasurer::PlacePlainGlyphs(QStringView text, const QRawFont*& font, QList<quint32>& glyphs,
                                    QList<QPointF>& positions) {
  if (!device_) return false;
  AdvanceCache& cache = CurrentAdvanceCache();
  if (!cache.additiveFont) return false;
  positions.resize(text.size());
  glyphs.resize(text.size());
  QPointF* const placed = positions.data();
  quint32* const glyphOf = glyphs.data();
  int pen = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i].unicode();
    const int advance = AdditiveAdvance(unit);
    if (advance < 0) return false;
    placed[i] = QPointF(pen, 0);
    pen += advance;
    quint32 glyph = unit < cache.glyphOfUnit.size() ? cache.glyphOfUnit[unit] : kUnknownGlyph;
    if (glyph == kUnknownGlyph && (glyph = LookUpGlyph(cache, unit)) == kUnknownGlyph) return false;
    glyphOf[i] = glyph;
  }
  font = &cache.rawFont;
  return true;
}

// A unit with an additive advance stands alone, so its glyph is the font's map of it whatever
// its neighbours.
quint32 TextMeasurer::LookUpGlyph(AdvanceCache& cache, char16_t unit) {
  const QChar character(unit);
  quint32 glyph = 0;
  int count = 1;
  if (!cache.rawFont.glyphIndexesForChars(&character, 1, &glyph, &count) || count != 1) return kUnknownGlyph;
  if (unit < kGlyphUnitsKept) {
    if (cache.glyphOfUnit.size() <= unit) cache.glyphOfUnit.resize(unit + 1, kUnknownGlyph);
    cache.glyphOfUnit[unit] = glyph;
  }
  return glyph;
}

}  // namespace folivane
