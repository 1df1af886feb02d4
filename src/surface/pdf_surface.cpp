#include "surface/pdf_surface.h"

#include <QGuiApplication>
#include <QPainterPath>
#include <QRawFont>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <future>
#include <unordered_set>

#include "surface/page_compressor.h"
#include "surface/painter_surface.h"

namespace folivane {

namespace {

// Pages in flight per worker: enough to keep every core busy while the drawing thread runs ahead.
constexpr std::size_t kPagesPerWorker = 4;
// Glyph positions closer than this (device pixels) to where the pen stands need no new position.
constexpr double kSamePlace = 1e-3;
// A glyph at most this far (device pixels) on the line from where the pen stands is moved there
// within its string, which costs a few bytes where a new position costs a dozen.
constexpr double kAdjustable = 4.0;
constexpr double kDotsPerMetre = kPdfResolution / 0.0254;

void AppendColour(std::string& out, QRgb colour) {
  for (int component : {qRed(colour), qGreen(colour), qBlue(colour)}) {
    AppendReal(out, component / 255.0);
    out += ' ';
  }
}

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

// The rows of an RGB image, each with the PNG Paeth filter and its tag byte before it. A smoothly
// scaled picture deflates to half the bytes this way (the logo: 58 against 115 KB).
std::string PaethFilteredRows(const QImage& rgb) {
  const std::size_t rowBytes = static_cast<std::size_t>(rgb.width()) * 3;
  std::string out;
  out.reserve((rowBytes + 1) * static_cast<std::size_t>(rgb.height()));
  const std::string zeros(rowBytes, '\0');
  const auto* above = reinterpret_cast<const unsigned char*>(zeros.data());
  for (int y = 0; y < rgb.height(); ++y) {
    const unsigned char* row = rgb.constScanLine(y);
    out += '\4';
    for (std::size_t i = 0; i < rowBytes; ++i) {
      const int left = i >= 3 ? row[i - 3] : 0;
      const int up = above[i];
      const int upLeft = i >= 3 ? above[i - 3] : 0;
      const int guess = left + up - upLeft;
      const int toLeft = std::abs(guess - left);
      const int toUp = std::abs(guess - up);
      const int toUpLeft = std::abs(guess - upLeft);
      const int predicted = toLeft <= toUp && toLeft <= toUpLeft ? left : toUp <= toUpLeft ? up : upLeft;
      out += static_cast<char>(row[i] - predicted);
    }
    above = row;
  }
  return out;
}

int DefaultWorkers() { return std::max(1, QThread::idealThreadCount()); }

}  // namespace

PdfSurface::PdfSurface(const QString& outputPath, const QPageSize& pageSize, const QRect& printableArea,
                       const QDateTime& creationDate, int workers)
    : outputPath_(outputPath),
      pagePoints_(pageSize.sizePoints()),
      printableArea_(printableArea),
      creationDate_(creationDate),
      metricsDevice_(1, 1, QImage::Format_RGB32),
      workers_(workers < 0 ? DefaultWorkers() : workers) {
  metricsDevice_.setDotsPerMeterX(qRound(kDotsPerMetre));
  metricsDevice_.setDotsPerMeterY(qRound(kDotsPerMetre));
  measurer_.SetDevice(&metricsDevice_);
}

PdfSurface::~PdfSurface() {
  // A job left open is finished here; without memory for it the file stays incomplete, which
  // Written() reports, and no exception leaves the destructor.
  try {
    CloseJob();
  } catch (...) {
  }
}

int PdfSurface::PrintableWidth() const { return printableArea_.width(); }

int PdfSurface::PrintableHeight() const { return printableArea_.height(); }

int PdfSurface::OpenJob(const QString& documentName) {
  if (open_ || written_) return 0;
  if (!file_.Open(outputPath_)) return 0;
  title_ = documentName;
  pagesObject_ = file_.Reserve();
  resourcesObject_ = file_.Reserve();
  compressor_ = std::make_unique<PageCompressor>(workers_);
  open_ = true;
  StartPage();
  return 1;
}

bool PdfSurface::BeginDrawing() {
  if (!open_) return false;
  state_ = DrawingState{};
  measurer_.SelectFont(QGuiApplication::font());
  fontKey_ = QGuiApplication::font().key();
  return true;
}

void PdfSurface::EndDrawing() { state_.reset(); }

void PdfSurface::StartPage() {
  content_.clear();
  content_.reserve(64 * 1024);
  // One matrix takes device pixels of the printable area (y down) to points on the sheet. It is
  // written as the Qt PDF target writes it, scale then offset: rows that end on a whole pixel of
  // a 100 dpi rendering then round the same way in both.
  content_ += "0.12 0 0 -0.12 0 ";
  AppendInt(content_, pagePoints_.height());
  content_ += " cm 1 0 0 1 ";
  AppendInt(content_, printableArea_.left());
  content_ += ' ';
  AppendInt(content_, printableArea_.top());
  content_ += " cm\n0 0 ";
  AppendInt(content_, printableArea_.width());
  content_ += ' ';
  AppendInt(content_, printableArea_.height());
  content_ += " re W n\n";
  fillKnown_ = false;
  inText_ = false;
  textResource_ = -1;
  textScale_ = 100;  // a content stream starts unscaled
}

void PdfSurface::FinishPage() {
  EndRepeatedPart();
  LeaveText();
  compressor_->Submit(std::move(content_));
  content_ = std::string();
  while (compressor_->InFlight() > kPagesPerWorker * std::max(workers_, 1)) {
    WritePage(compressor_->TakeOldest());
  }
}

void PdfSurface::WritePage(const std::string& deflated) {
  const int contents = file_.Reserve();
  file_.WriteStream(contents, " /Filter /FlateDecode", deflated);
  const int page = file_.Reserve();
  std::string body = "<< /Type /Page /Parent ";
  AppendInt(body, pagesObject_);
  body += " 0 R /Resources ";
  AppendInt(body, resourcesObject_);
  body += " 0 R /Contents ";
  AppendInt(body, contents);
  body += " 0 R >>";
  file_.WriteObject(page, body);
  pageObjects_.push_back(page);
}

void PdfSurface::NextPage() {
  if (!open_) return;
  FinishPage();
  StartPage();
}

void PdfSurface::CloseJob() {
  if (!open_) return;
  open_ = false;
  state_.reset();
  if (compressor_) {
    FinishPage();
    while (compressor_->InFlight() > 0) WritePage(compressor_->TakeOldest());
    compressor_.reset();
  }

  std::string resources = "<< /Font << " + fonts_.WriteAll(file_) + ">> /XObject << ";
  for (Image& image : images_) {
    file_.WriteStream(image.number, image.dictionary + " /Filter /FlateDecode", image.deflated.get());
    resources += "/Im";
    AppendInt(resources, image.number);
    resources += ' ';
    AppendInt(resources, image.number);
    resources += " 0 R ";
  }
  for (const RepeatedPart& part : parts_) {
    if (part.form == 0) continue;
    resources += "/Fm";
    AppendInt(resources, part.form);
    resources += ' ';
    AppendInt(resources, part.form);
    resources += " 0 R ";
  }
  resources += ">> >>";
  file_.WriteObject(resourcesObject_, resources);

  std::string pages = "<< /Type /Pages /MediaBox [0 0 ";
  AppendInt(pages, pagePoints_.width());
  pages += ' ';
  AppendInt(pages, pagePoints_.height());
  pages += "] /Count ";
  AppendInt(pages, static_cast<long long>(pageObjects_.size()));
  pages += " /Kids [";
  for (int page : pageObjects_) {
    AppendInt(pages, page);
    pages += " 0 R ";
  }
  pages += "] >>";
  file_.WriteObject(pagesObject_, pages);

  const int info = file_.Reserve();
  std::string infoBody = "<< /Title " + TextString(title_) + " /Producer (Folivane)";
  if (creationDate_.isValid()) {
    infoBody += " /CreationDate (D:" + creationDate_.toString(QStringLiteral("yyyyMMddHHmmss")).toStdString() + ')';
  }
  infoBody += " >>";
  file_.WriteObject(info, infoBody);
  const int catalog = file_.Reserve();
  std::string catalogBody = "<< /Type /Catalog /Pages ";
  AppendInt(catalogBody, pagesObject_);
  catalogBody += " 0 R >>";
  file_.WriteObject(catalog, catalogBody);
  written_ = file_.Finish(catalog, info);
}

void PdfSurface::UseFont(const Font& font) {
  if (!font.valid) return;
  measurer_.SelectFont(font.qfont);
  fontKey_ = font.qfont.key();
}

void PdfSurface::SetForeground(QRgb colour) {
  if (state_) state_->pendingFront = colour & 0xFFFFFF;
}

void PdfSurface::SetBackground(QRgb colour) {
  if (state_) state_->pendingBack = colour & 0xFFFFFF;
}

void PdfSurface::SetTransparentText() {
  if (state_) state_->transparent = true;
}

void PdfSurface::SetFill(QRgb colour) {
  if (fillKnown_ && fill_ == colour) return;
  fill_ = colour;
  fillKnown_ = true;
  AppendColour(content_, colour);
  content_ += "rg\n";
}

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
  if (piece.size() <= kClusterNotedUnits) {
    NoteClusters(layout, piece);
  } else {
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
      // The characters of the cluster whose own glyph this run does not show.
      QString rest;
      for (qsizetype i = 0; i < cluster.size(); ++i) {
        const int length =
            cluster[i].isHighSurrogate() && i + 1 < cluster.size() && cluster[i + 1].isLowSurrogate() ? 2 : 1;
        quint32 own[2] = {0, 0};
        int count = 2;
        if (!run.rawFont().glyphIndexesForChars(cluster.data() + i, length, own, &count) || count < 1 || own[0] == 0 ||
            !glyphs.contains(own[0])) {
          rest += cluster.sliced(i, length);
        }
        i += length - 1;
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
        quint32 own[2] = {0, 0};
        int count = 2;
        for (qsizetype i = 0; i < cluster.size() && text.isEmpty(); ++i) {
          const int length =
              cluster[i].isHighSurrogate() && i + 1 < cluster.size() && cluster[i + 1].isLowSurrogate() ? 2 : 1;
          count = 2;
          if (run.rawFont().glyphIndexesForChars(cluster.data() + i, length, own, &count) && count >= 1 &&
              own[0] == glyphs[g]) {
            text = cluster.sliced(i, length).toString();
          }
          i += length - 1;
        }
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

void PdfSurface::FillBox(int x, int y, int width, int height, QRgb colour) {
  if (!state_ || !open_ || width <= 0 || height <= 0) return;
  LeaveText();
  SetFill(colour & 0xFFFFFF);
  AppendInt(content_, x);
  content_ += ' ';
  AppendInt(content_, y);
  content_ += ' ';
  AppendInt(content_, width);
  content_ += ' ';
  AppendInt(content_, height);
  content_ += " re f\n";
}

void PdfSurface::PutImage(const QImage& image, int x, int y) {
  if (!state_ || !open_ || image.isNull()) return;
  int number = 0;
  for (const Image& known : images_)
    if (known.key == image.cacheKey()) number = known.number;
  if (number == 0) {
    // Stored once and drawn on every page that shows it. It is deflated beside the drawing (the
    // logo takes a tenth of a small job's time), or when written with the resources if no
    // thread can be had.
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    number = file_.Reserve();
    std::string dictionary = " /Type /XObject /Subtype /Image /Width ";
    AppendInt(dictionary, rgb.width());
    dictionary += " /Height ";
    AppendInt(dictionary, rgb.height());
    dictionary += " /ColorSpace /DeviceRGB /BitsPerComponent 8";
    dictionary += " /DecodeParms << /Predictor 15 /Colors 3 /Columns ";
    AppendInt(dictionary, rgb.width());
    dictionary += " >>";
    images_.push_back(Image{image.cacheKey(), number, std::move(dictionary),
                            std::async(std::launch::async | std::launch::deferred,
                                       [rgb] { return Deflater(false)(PaethFilteredRows(rgb)); })});
  }
  LeaveText();
  content_ += "q ";
  AppendInt(content_, image.width());
  content_ += " 0 0 ";
  AppendInt(content_, -image.height());
  content_ += ' ';
  AppendInt(content_, x);
  content_ += ' ';
  AppendInt(content_, static_cast<long long>(y) + image.height());
  content_ += " cm /Im";
  AppendInt(content_, number);
  content_ += " Do Q\n";
}

void PdfSurface::BeginRepeatedPart() {
  if (!open_ || inPart_) return;
  LeaveText();
  inPart_ = true;
  scaleBeforePart_ = textScale_;
  textScale_ = -1;  // whatever the part is drawn after
  pageContent_ = std::move(content_);
  content_ = std::string();
  // The part sets every colour it uses itself, so that it draws the same wherever it is shown.
  fillBeforePart_ = fill_;
  fillKnownBeforePart_ = fillKnown_;
  fillKnown_ = false;
}

void PdfSurface::EndRepeatedPart() {
  if (!inPart_) return;
  LeaveText();
  inPart_ = false;
  std::string part = std::move(content_);
  content_ = std::move(pageContent_);
  pageContent_ = std::string();
  auto found =
      std::find_if(parts_.begin(), parts_.end(), [&](const RepeatedPart& kept) { return kept.content == part; });
  if (found == parts_.end()) {
    // Seen for the first time: drawn inline, and kept in case it comes again. A part that
    // changes on every page fills the few places and is then always drawn inline.
    content_ += part;
    if (parts_.size() < kKeptParts) parts_.push_back(RepeatedPart{std::move(part), 0});
    return;
  }
  if (found->form == 0) {
    found->form = file_.Reserve();
    std::string dictionary = " /Type /XObject /Subtype /Form /BBox [0 0 ";
    AppendInt(dictionary, printableArea_.width());
    dictionary += ' ';
    AppendInt(dictionary, printableArea_.height());
    dictionary += "] /Resources ";
    AppendInt(dictionary, resourcesObject_);
    dictionary += " 0 R";
    file_.WriteDeflatedStream(found->form, dictionary, found->content);
  }
  // A form is drawn in a graphics state of its own: the page's colour and text scale are as they
  // were before.
  fill_ = fillBeforePart_;
  fillKnown_ = fillKnownBeforePart_;
  textScale_ = scaleBeforePart_;
  content_ += "/Fm";
  AppendInt(content_, found->form);
  content_ += " Do\n";
}

}  // namespace folivane
