// The PDF surface's text: pieces measured as the layout measured them, shaped as Qt shapes them,
// and written glyph by glyph at those places, with what each glyph stands for.
#include <QPainterPath>
#include <QRawFont>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "surface/pdf_surface.h"

namespace folivane {

namespace {

// Glyph positions closer than this (device pixels) to where the pen stands need no new position.
constexpr double kSamePlace = 1e-3;
// A glyph at most this far (device pixels) on the line from where the pen stands is moved there
// within its string, which costs a few bytes where a new position costs a dozen.
constexpr double kAdjustable = 4.0;

}  // namespace

void PdfSurface::EnterText() {
  if (content_.InText()) return;
  // Text space is device space upright again; each string then starts with a move from the
  // start of the previous one, which deflates far better than a full matrix per string.
  content_.BeginText();
  content_.SetTextMatrix(1, 0, 0, -1, 0, 0);
  lineX_ = 0;
  lineY_ = 0;
  textResource_ = -1;
  textFont_ = -1;
}

void PdfSurface::LeaveText() {
  if (content_.InText()) content_.EndText();
}

int PdfSurface::PutText(int x, int y, const QString& original) {
  if (!state_ || !document_) return x;
  if (original.isEmpty()) return x;
  const QString text = WithoutTabs(original);

  // Piece by piece at the positions MeasureText gives, as the Qt surface draws, so that a row is
  // exactly as wide on the page as it was measured; pieces that cannot show are left out.
  const TextMeasurer::VerticalMetrics metrics = measurer_.Vertical();
  const qint64 margin = TextMeasurer::kWidestUnitInEm * qint64{std::max(metrics.height, 1)};
  const qint64 visibleLeft = -margin;
  const qint64 visibleRight = qint64{printableArea_.width()} + margin;
  const int baseline = y + metrics.ascent;
  const int cellHeight = metrics.ascent + metrics.descent;
  qint64 pen = x;
  measurer_.ForEachPiece(text, [&](qsizetype from, qsizetype to, qint64 width, bool plain) {
    if (pen < visibleRight && pen + width > visibleLeft) {
      if (!state_->transparent && width > 0) {
        // An opaque text background fills the cell behind the text.
        LeaveText();
        SetFill(state_->pendingBack);
        content_.Rectangle(pen, y, width, cellHeight, ContentStream::kSpace);
        content_.Fill();
      }
      SetFill(state_->pendingFront);
      PutPiece(static_cast<double>(pen), baseline, QStringView(text).sliced(from, to - from), plain);
    }
    pen += width;
  });
  return ClampToInt(pen);
}

void PdfSurface::PutPiece(double x, double baseline, QStringView piece, bool plain) {
  const QRawFont* font = nullptr;
  if (plain && measurer_.PlacePlainGlyphs(piece, font, glyphs_, positions_)) {
    PutGlyphs(*font, glyphs_.constData(), positions_.constData(), glyphs_.size(), x, baseline, piece.utf16());
    return;
  }
  const std::vector<ShapedRun>& runs = ShapedRuns(piece.toString());
  for (const ShapedRun& run : runs) {
    PutGlyphs(run.font, run.glyphs.constData(), run.positions.constData(), run.glyphs.size(), x, baseline, nullptr);
  }
}

// Shaped as Qt shapes a text it draws, fallback fonts included. Short pieces come back often
// (a replacement character after the same few neighbours, say), and so do the texts of a part
// that repeats on every page (the header and footer, shaped a third of the drawing time when
// they were not kept), so their runs are kept.
const std::vector<PdfSurface::ShapedRun>& PdfSurface::ShapedRuns(const QString& piece) {
  const bool keep = piece.size() <= kKeptPieceUnits || (inPart_ && piece.size() <= kKeptPartPieceUnits);
  QString key;
  if (keep) {
    key = measurer_.FontKey() + QChar(0) + piece;
    if (const auto found = shapedPieces_.find(key); found != shapedPieces_.end()) return found->second;
    if (shapedPieces_.size() >= kKeptPieces) shapedPieces_.clear();
  }
  std::vector<ShapedRun>& runs = keep ? shapedPieces_[key] : unkeptRuns_;
  runs.clear();
  QTextLayout layout(piece, measurer_.CurrentFont(), &metricsDevice_);
  QTextOption option;
  option.setTextDirection(Qt::LeftToRight);
  option.setWrapMode(QTextOption::NoWrap);
  layout.setTextOption(option);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  layout.endLayout();
  if (!line.isValid()) return runs;
  const double lineBaseline = line.y() + line.ascent();
  const QList<QGlyphRun> glyphRuns = layout.glyphRuns();
  // Pieces come back with glyphs already known: only a glyph not looked at before is worth the
  // cluster walk.
  const bool somethingNew = std::any_of(glyphRuns.begin(), glyphRuns.end(), [&](const QGlyphRun& run) {
    const int resource = document_->Fonts().ResourceFor(run.rawFont());
    if (resource == PdfFonts::kNotEmbeddable) return false;
    const QList<quint32> glyphs = run.glyphIndexes();
    return std::any_of(glyphs.begin(), glyphs.end(),
                       [&](quint32 glyph) { return !document_->Fonts().Noted(resource, glyph); });
  });
  if (somethingNew && piece.size() <= kClusterNotedUnits) {
    NoteClusters(layout, piece);
  } else if (somethingNew) {
    for (const QGlyphRun& glyphRun : glyphRuns) NoteCharacters(glyphRun, piece);
  }

  // Qt hands the glyphs over font by font; a viewer that copies text in the order it was written
  // wants them from left to right, so they are written in the order they stand on the line.
  struct Placed {
    qsizetype run;
    qsizetype index;
    double x;
  };
  std::vector<Placed> placed;
  for (qsizetype r = 0; r < glyphRuns.size(); ++r) {
    const QList<QPointF> positions = glyphRuns[r].positions();
    for (qsizetype i = 0; i < positions.size(); ++i) placed.push_back(Placed{r, i, positions[i].x()});
  }
  std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) { return a.x < b.x; });
  std::vector<QList<quint32>> glyphs;
  std::vector<QList<QPointF>> positions;
  for (const QGlyphRun& glyphRun : glyphRuns) {
    glyphs.push_back(glyphRun.glyphIndexes());
    positions.push_back(glyphRun.positions());
  }
  for (const Placed& glyph : placed) {
    if (runs.empty() || !(runs.back().font == glyphRuns[glyph.run].rawFont())) {
      runs.push_back(ShapedRun{glyphRuns[glyph.run].rawFont(), {}, {}});
    }
    runs.back().glyphs.append(glyphs[glyph.run][glyph.index]);
    runs.back().positions.append(positions[glyph.run][glyph.index] - QPointF(0, lineBaseline));
  }
  return runs;
}

// The characters behind a short piece's glyphs, cluster by cluster as Qt shaped them: a glyph the
// font's own map gives for a character of the cluster stands for that character; the first other
// glyph (a joining form, a ligature, a composed letter) for the rest of the cluster. A ligature
// that spans clusters stands for all of them.
void PdfSurface::NoteClusters(const QTextLayout& layout, const QString& piece) {
  struct Noted {
    int resource;
    quint32 glyph;
    QPointF position;
    QString text;
  };
  std::vector<Noted> noted;
  QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, piece);
  for (qsizetype from = 0; from < piece.size();) {
    qsizetype to = graphemes.toNextBoundary();
    if (to <= from) to = piece.size();
    const QStringView cluster = QStringView(piece).sliced(from, to - from);
    for (const QGlyphRun& run : layout.glyphRuns(static_cast<int>(from), static_cast<int>(to - from))) {
      const int resource = document_->Fonts().ResourceFor(run.rawFont());
      if (resource == PdfFonts::kNotEmbeddable) continue;
      const QList<quint32> glyphs = run.glyphIndexes();
      const QList<QPointF> positions = run.positions();
      // Each character of the cluster with the glyph the run's font gives it on its own (0 for
      // none); the characters whose own glyph this run does not show are the rest.
      std::vector<std::pair<QStringView, quint32>> characters;
      QString rest;
      for (qsizetype i = 0; i < cluster.size();) {
        const int length =
            cluster[i].isHighSurrogate() && i + 1 < cluster.size() && cluster[i + 1].isLowSurrogate() ? 2 : 1;
        quint32 own[2] = {0, 0};
        int count = 2;
        if (!run.rawFont().glyphIndexesForChars(cluster.data() + i, length, own, &count) || count < 1) own[0] = 0;
        characters.emplace_back(cluster.sliced(i, length), own[0]);
        if (own[0] == 0 || !glyphs.contains(own[0])) rest += cluster.sliced(i, length);
        i += length;
      }
      for (qsizetype g = 0; g < glyphs.size(); ++g) {
        auto same = std::find_if(noted.begin(), noted.end(), [&](const Noted& n) {
          return n.resource == resource && n.glyph == glyphs[g] && n.position == positions[g];
        });
        if (same != noted.end()) {
          // Met again from a later cluster: a ligature across clusters.
          same->text += rest;
          rest.clear();
          continue;
        }
        QString text;
        const auto own = std::find_if(characters.begin(), characters.end(),
                                      [&](const auto& character) { return character.second == glyphs[g]; });
        if (own != characters.end()) text = own->first.toString();
        if (text.isEmpty()) {
          text = rest;
          rest.clear();
        }
        noted.push_back(Noted{resource, glyphs[g], positions[g], std::move(text)});
      }
    }
    from = to;
  }
  for (const Noted& n : noted) document_->Fonts().NoteCluster(n.resource, n.glyph, n.text);
}

// The characters behind a run's glyphs, for search and copy: each character's glyph in the run's
// font, where the run shows that glyph.
void PdfSurface::NoteCharacters(const QGlyphRun& run, const QString& piece) {
  const int resource = document_->Fonts().ResourceFor(run.rawFont());
  if (resource == PdfFonts::kNotEmbeddable) return;
  const QList<quint32> glyphs = run.glyphIndexes();
  const std::unordered_set<quint32> shown(glyphs.begin(), glyphs.end());
  for (qsizetype i = 0; i < piece.size(); ++i) {
    char32_t character = piece[i].unicode();
    QChar units[2] = {piece[i], QChar()};
    int length = 1;
    if (piece[i].isHighSurrogate() && i + 1 < piece.size() && piece[i + 1].isLowSurrogate()) {
      character = QChar::surrogateToUcs4(piece[i], piece[i + 1]);
      units[1] = piece[i + 1];
      length = 2;
    }
    quint32 glyph[2] = {0, 0};
    int glyphCount = 2;
    if (run.rawFont().glyphIndexesForChars(units, length, glyph, &glyphCount) && glyphCount >= 1 && glyph[0] != 0 &&
        shown.count(glyph[0]) != 0) {
      document_->Fonts().NoteCharacter(resource, glyph[0], character);
    }
    i += length - 1;
  }
}

void PdfSurface::PutGlyphs(const QRawFont& font, const quint32* glyphs, const QPointF* positions, qsizetype count,
                           double x, double baseline, const char16_t* plainText) {
  const int resource = document_->Fonts().ResourceFor(font);
  if (resource == PdfFonts::kNotEmbeddable) {
    PutOutlines(font, glyphs, positions, count, x, baseline);
    return;
  }
  EnterText();
  PdfFonts& fonts = document_->Fonts();
  const double scale = fonts.HorizontalScale(resource);
  // The glyphs of plain pieces come back on every row: once a glyph's character, one-byte code
  // and advance are settled, which the first use does for good, they are kept here.
  std::vector<SettledGlyph>* settled = nullptr;
  if (plainText) {
    if (settledGlyphs_.size() <= static_cast<std::size_t>(resource)) settledGlyphs_.resize(resource + 1);
    settled = &settledGlyphs_[resource];
  }
  // Held apart from the vector, which the bytes written in between would make the compiler
  // fetch again for every glyph.
  const SettledGlyph* settledTable = settled ? settled->data() : nullptr;
  std::size_t settledCount = settled ? settled->size() : 0;
  GlyphString& string = pendingString_;  // the codes not yet shown
  string.Clear();
  // Codes gathered for the string and escaped into it a run at a time.
  char codes[256];
  std::size_t codeBytes = 0;
  auto addCodes = [&] {
    if (codeBytes > 0) string.AddCode(codes, codeBytes);
    codeBytes = 0;
  };
  bool placed = false;  // whether the viewer's pen stands at (penX, penY)
  double penX = 0;
  double penY = 0;
  auto showString = [&] {
    addCodes();
    if (!string.Empty()) content_.ShowText(string);
    string.Clear();
  };
  for (qsizetype i = 0; i < count; ++i) {
    const quint32 glyph = glyphs[i];
    if (glyph > 0xFFFF) continue;
    const double glyphX = x + positions[i].x();
    const double glyphY = baseline + positions[i].y();
    PdfFonts::Code code;
    double advance = 0;
    if (glyph < settledCount && settledTable[glyph].known) {
      const SettledGlyph& known = settledTable[glyph];
      code = PdfFonts::Code{known.font, known.code, false};
      advance = known.advance;
    } else {
      // A plain piece's glyphs stand one for each unit, at the unit's additive advance.
      double suggested = -1;
      if (plainText) {
        fonts.NoteCharacter(resource, glyph, plainText[i]);
        if (i + 1 < count) suggested = positions[i + 1].x() - positions[i].x();
      }
      code = fonts.CodeFor(resource, glyph);
      advance = fonts.Advance(resource, glyph, suggested);
      if (settled && !code.twoBytes && fonts.CharacterNoted(resource, glyph)) {
        if (glyph >= settled->size()) settled->resize(glyph + 1);
        (*settled)[glyph] = SettledGlyph{advance, code.font, code.value, true};
        settledTable = settled->data();
        settledCount = settled->size();
      }
    }
    if (resource != textResource_ || code.font != textFont_) {
      showString();
      textResource_ = resource;
      textFont_ = code.font;
      content_.SetFont(fonts.Name(resource, code.font), fonts.PixelSize(resource));
    }
    if (!content_.ScaleIs(scale)) {
      showString();
      content_.SetHorizontalScale(scale);
    }
    const double offBy = glyphX - penX;
    const bool onLine = placed && std::abs(glyphY - penY) <= kSamePlace;
    if ((codeBytes > 0 || !string.Empty()) && onLine && std::abs(offBy) > kSamePlace &&
        std::abs(offBy) <= kAdjustable) {
      // A whole-thousandth width leaves a proportional glyph a little off: a number in a TJ
      // array moves the pen, in thousandths of the em against the writing direction.
      const double perThousandth = fonts.PixelSize(resource) * scale / 100.0 / 1000.0;
      const double move = AsWritten(-offBy / perThousandth);
      addCodes();
      string.AddMove(move);
      penX -= move * perThousandth;
    } else if (!onLine || std::abs(offBy) > kSamePlace) {
      showString();
      const auto [dx, dy] = content_.MoveText(glyphX - lineX_, lineY_ - glyphY);
      lineX_ += dx;
      lineY_ -= dy;
      placed = true;
      penX = lineX_;
      penY = lineY_;
    }
    if (codeBytes + 2 > sizeof codes) addCodes();
    if (code.twoBytes) codes[codeBytes++] = static_cast<char>(code.value >> 8);
    codes[codeBytes++] = static_cast<char>(code.value & 0xFF);
    penX += advance;
  }
  showString();
}

// Faces without TrueType outlines are drawn as filled outlines: the page shows the same glyphs,
// though a text search does not find them.
void PdfSurface::PutOutlines(const QRawFont& font, const quint32* glyphs, const QPointF* positions, qsizetype count,
                             double x, double baseline) {
  LeaveText();
  for (qsizetype i = 0; i < count; ++i) {
    const QPainterPath path =
        font.pathForGlyph(glyphs[i]).translated(x + positions[i].x(), baseline + positions[i].y());
    if (path.isEmpty()) continue;
    for (int e = 0; e < path.elementCount(); ++e) {
      const QPainterPath::Element element = path.elementAt(e);
      if (element.isMoveTo()) {
        content_.MoveTo(element.x, element.y);
      } else if (element.isLineTo()) {
        content_.LineTo(element.x, element.y);
      } else if (element.isCurveTo() && e + 2 < path.elementCount()) {
        const QPainterPath::Element second = path.elementAt(e + 1);
        const QPainterPath::Element third = path.elementAt(e + 2);
        content_.CurveTo(element.x, element.y, second.x, second.y, third.x, third.y);
        e += 2;
      }
    }
    if (path.fillRule() == Qt::WindingFill) content_.Fill();
    else content_.FillEvenOdd();
  }
}

}  // namespace folivane
