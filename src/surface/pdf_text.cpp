// The PDF surface's text: pieces measured as the layout measured them, shaped as Qt shapes them,
// and written glyph by glyph at those places, with what each glyph stands for.
#include <QPainterPath>
#include <QRawFont>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <unordered_set>

#include "surface/pdf_surface.h"

namespace folivane {

namespace {

// Glyph positions closer than this (device pixels) to where the pen stands need no new position.
constexpr double kSamePlace = 1e-3;
// A glyph at most this far (device pixels) on the line from where the pen stands is moved there
// within its string, which costs a few bytes where a new position costs a dozen.
constexpr double kAdjustable = 4.0;

// A glyph's code in a literal string; the bytes a literal string treats specially are escaped (a
// bare CR would be read as LF).
void AppendGlyphCode(std::string& out, const PdfFonts::Code& code) {
  auto append = [&out](char byte) {
    if (byte == '(' || byte == ')' || byte == '\\') {
      out += '\\';
      out += byte;
    } else if (byte == '\r') {
      out += "\\r";
    } else {
      out += byte;
    }
  };
  if (code.twoBytes) append(static_cast<char>(code.value >> 8));
  append(static_cast<char>(code.value & 0xFF));
}

// A horizontal scale with up to eight decimals and no trailing zeros: the scale that makes a
// face's advances whole thousandths of its em is not a round number.
void AppendScale(std::string& out, double scale) {
  char text[32];
  std::snprintf(text, sizeof text, "%.8f", scale);
  std::string_view written(text);
  while (written.back() == '0') written.remove_suffix(1);
  if (written.back() == '.') written.remove_suffix(1);
  out += written;
}

// A move written with at most four decimals, as AppendReal writes it; returns the move as a
// viewer reads it, so positions that follow add up without drift.
double AppendMove(std::string& out, double move) {
  const double written = std::round(move * 10000.0) / 10000.0;
  AppendReal(out, written);
  return written;
}

}  // namespace

void PdfSurface::EnterText() {
  if (inText_) return;
  // Text space is device space upright again; each string then starts with a move from the
  // start of the previous one, which deflates far better than a full matrix per string.
  content_ += "BT\n1 0 0 -1 0 0 Tm\n";
  inText_ = true;
  lineX_ = 0;
  lineY_ = 0;
  textResource_ = -1;
  textFont_ = -1;
}

void PdfSurface::LeaveText() {
  if (!inText_) return;
  content_ += "ET\n";
  inText_ = false;
}

int PdfSurface::PutText(int x, int y, const QString& original) {
  if (!state_ || !open_) return x;
  if (original.isEmpty()) return x;
  const QString text = WithoutTabs(original);

  // Piece by piece at the positions MeasureText gives, as the Qt surface draws, so that a row is
  // exactly as wide on the page as it was measured; pieces that cannot show are left out.
  const QFontMetrics& metrics = measurer_.Metrics();
  const qint64 margin = TextMeasurer::kWidestUnitInEm * qint64{std::max(metrics.height(), 1)};
  const qint64 visibleLeft = -margin;
  const qint64 visibleRight = qint64{printableArea_.width()} + margin;
  const int baseline = y + metrics.ascent();
  const int cellHeight = metrics.ascent() + metrics.descent();
  qint64 pen = x;
  measurer_.ForEachPiece(text, [&](qsizetype from, qsizetype to, qint64 width, bool plain) {
    if (pen < visibleRight && pen + width > visibleLeft) {
      if (!state_->transparent && width > 0) {
        // An opaque text background fills the cell behind the text.
        LeaveText();
        SetFill(state_->pendingBack);
        content_ += std::to_string(pen) + ' ' + std::to_string(y) + ' ' + std::to_string(width) + ' ' +
                    std::to_string(cellHeight) + " re f\n";
      }
      SetFill(state_->pendingFront);
      PutPiece(static_cast<double>(pen), baseline, text.mid(from, to - from), plain);
    }
    pen += width;
  });
  return ClampToInt(pen);
}

void PdfSurface::PutPiece(double x, double baseline, const QString& piece, bool plain) {
  const QRawFont* font = nullptr;
  if (plain && measurer_.PlacePlainGlyphs(piece, font, glyphs_, positions_)) {
    PutGlyphs(*font, glyphs_.constData(), positions_.constData(), glyphs_.size(), x, baseline, &piece);
    return;
  }
  const std::vector<ShapedRun>& runs = ShapedRuns(piece);
  for (const ShapedRun& run : runs) {
    PutGlyphs(run.font, run.glyphs.constData(), run.positions.constData(), run.glyphs.size(), x, baseline, nullptr);
  }
}

// Shaped as Qt shapes a text it draws, fallback fonts included. Short pieces come back often
// (a replacement character after the same few neighbours, say), so their runs are kept.
const std::vector<PdfSurface::ShapedRun>& PdfSurface::ShapedRuns(const QString& piece) {
  const bool keep = piece.size() <= kKeptPieceUnits;
  QString key;
  if (keep) {
    key = fontKey_ + QChar(0) + piece;
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
    const int resource = fonts_.ResourceFor(run.rawFont());
    if (resource == PdfFonts::kNotEmbeddable) return false;
    const QList<quint32> glyphs = run.glyphIndexes();
    return std::any_of(glyphs.begin(), glyphs.end(), [&](quint32 glyph) { return !fonts_.Noted(resource, glyph); });
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
      const int resource = fonts_.ResourceFor(run.rawFont());
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
  for (const Noted& n : noted) fonts_.NoteCluster(n.resource, n.glyph, n.text);
}

// The characters behind a run's glyphs, for search and copy: each character's glyph in the run's
// font, where the run shows that glyph.
void PdfSurface::NoteCharacters(const QGlyphRun& run, const QString& piece) {
  const int resource = fonts_.ResourceFor(run.rawFont());
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
      fonts_.NoteCharacter(resource, glyph[0], character);
    }
    i += length - 1;
  }
}

void PdfSurface::PutGlyphs(const QRawFont& font, const quint32* glyphs, const QPointF* positions, qsizetype count,
                           double x, double baseline, const QString* plainText) {
  const int resource = fonts_.ResourceFor(font);
  if (resource == PdfFonts::kNotEmbeddable) {
    PutOutlines(font, glyphs, positions, count, x, baseline);
    return;
  }
  EnterText();
  bool inString = false;
  bool inArray = false;         // the string is part of a TJ array, for small moves between glyphs
  std::size_t stringStart = 0;  // where the open string's "(" stands in content_
  bool placed = false;          // whether the viewer's pen stands at (penX, penY)
  double penX = 0;
  double penY = 0;
  auto closeString = [&] {
    if (inString) content_ += inArray ? ")] TJ\n" : ") Tj\n";
    inString = false;
    inArray = false;
  };
  auto openString = [&] {
    stringStart = content_.size();
    content_ += '(';
    inString = true;
  };
  for (qsizetype i = 0; i < count; ++i) {
    const quint32 glyph = glyphs[i];
    if (glyph > 0xFFFF) continue;
    const double glyphX = x + positions[i].x();
    const double glyphY = baseline + positions[i].y();
    // A plain piece's glyphs stand one for each unit, at the unit's additive advance.
    double suggested = -1;
    if (plainText) {
      fonts_.NoteCharacter(resource, glyph, (*plainText)[i].unicode());
      if (i + 1 < count) suggested = positions[i + 1].x() - positions[i].x();
    }
    const PdfFonts::Code code = fonts_.CodeFor(resource, glyph);
    const double advance = fonts_.Advance(resource, glyph, suggested);
    const double scale = fonts_.HorizontalScale(resource);
    if (resource != textResource_ || code.font != textFont_) {
      closeString();
      textResource_ = resource;
      textFont_ = code.font;
      content_ += fonts_.Name(resource, code.font);
      content_ += ' ';
      AppendReal(content_, fonts_.PixelSize(resource));
      content_ += " Tf\n";
    }
    if (scale != textScale_) {
      closeString();
      AppendScale(content_, scale);
      content_ += " Tz\n";
      textScale_ = scale;
    }
    const double offBy = glyphX - penX;
    const bool onLine = placed && std::abs(glyphY - penY) <= kSamePlace;
    if (inString && onLine && std::abs(offBy) > kSamePlace && std::abs(offBy) <= kAdjustable) {
      // A whole-thousandth width leaves a proportional glyph a little off: a number in a TJ
      // array moves the pen, in thousandths of the em against the writing direction.
      if (!inArray) {
        content_.insert(stringStart, 1, '[');
        inArray = true;
      }
      const double perThousandth = fonts_.PixelSize(resource) * scale / 100.0 / 1000.0;
      content_ += ')';
      penX -= AppendMove(content_, -offBy / perThousandth) * perThousandth;
      content_ += '(';
    } else if (!onLine || std::abs(offBy) > kSamePlace) {
      closeString();
      lineX_ += AppendMove(content_, glyphX - lineX_);
      content_ += ' ';
      lineY_ -= AppendMove(content_, lineY_ - glyphY);
      content_ += " Td ";
      openString();
      placed = true;
      penX = lineX_;
      penY = lineY_;
    } else if (!inString) {
      openString();
    }
    AppendGlyphCode(content_, code);
    penX += advance;
  }
  closeString();
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
    auto point = [&](const QPointF& p) {
      AppendReal(content_, p.x());
      content_ += ' ';
      AppendReal(content_, p.y());
      content_ += ' ';
    };
    for (int e = 0; e < path.elementCount(); ++e) {
      const QPainterPath::Element element = path.elementAt(e);
      if (element.isMoveTo()) {
        point(element);
        content_ += "m\n";
      } else if (element.isLineTo()) {
        point(element);
        content_ += "l\n";
      } else if (element.isCurveTo() && e + 2 < path.elementCount()) {
        point(element);
        point(path.elementAt(e + 1));
        point(path.elementAt(e + 2));
        content_ += "c\n";
        e += 2;
      }
    }
    content_ += path.fillRule() == Qt::WindingFill ? "f\n" : "f*\n";
  }
}

}  // namespace folivane
