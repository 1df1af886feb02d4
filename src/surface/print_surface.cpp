#include "surface/print_surface.h"

#include <QApplication>
#include <QFontInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QRawFont>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <limits>

#include "surface/diagnostics.h"
#include "surface/additive_cuts.h"
#include "surface/display.h"
#include "surface/print_queue.h"

namespace folivane {

namespace {

constexpr int kUnknownAdvance = -2;
constexpr int kUnitCount = 0x10000;
// Qt adds advances in 26.6 fixed point held in 32 bits: a text measured in one call must stay
// below 2^25 device pixels or its width wraps around.
constexpr qint64 kFixedPointPixelCeiling = qint64{1} << 25;
// How wide one UTF-16 unit may be drawn, in em: wide fallback glyphs and ligature forms such as
// U+FDFD reach a few em; the bound keeps a whole-measured text well inside the ceiling.
constexpr int kWidestUnitInEm = 8;

// Qt widens a tab to the next tab stop, so its width would hang on everything before it and no
// width could be added up from pieces. The surface draws and measures a tab as one blank, as the
// printer drivers of the original platform show a control character: lines arrive with their
// tabs already expanded.
QString WithoutTabs(const QString& text) {
  if (!text.contains(u'\t')) return text;
  QString blanked = text;
  blanked.replace(u'\t', u' ');
  return blanked;
}

int ClampToInt(qint64 value) {
  return static_cast<int>(std::clamp<qint64>(value, std::numeric_limits<int>::min(),
                                             std::numeric_limits<int>::max()));
}

QColor ToQColor(int colour) {
  return QColor::fromRgb(static_cast<QRgb>(colour) | 0xFF000000u);
}

// Platforms on which no user can see or answer a dialog.

// Scripts whose letters keep their own advance next to any neighbour in a font that does not kern:
// no joining forms, no reordering, no clusters.
bool IsSimpleScript(QChar::Script script) {
  switch (script) {
    case QChar::Script_Common:
    case QChar::Script_Latin:
    case QChar::Script_Greek:
    case QChar::Script_Cyrillic:
      return true;
    default:
      return false;
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
    case QChar::Separator_Paragraph:
      return false;
    default:
      break;
  }
  return unit.joiningType() == QChar::Joining_None && IsSimpleScript(unit.script());
}

// Where the text ends the piece of a stretch without additive cuts that begins at `start`: at
// most `limit` units on, between two grapheme clusters where there is one, and never between the
// two halves of a surrogate pair.
qsizetype ClusterPieceEnd(QStringView text, QTextBoundaryFinder& graphemes, qsizetype start,
                          qsizetype limit) {
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

}  // namespace

PrintSurface::PrintSurface() = default;

QRect PdfPrintableArea(const QPageSize& pageSize) {
  // The page in whole points (as the PDF's page box holds it) at 600 dpi, rounded: 25 pixels for
  // every 3 points.
  const QSize points = pageSize.sizePoints();
  const auto pixels = [](int length) { return static_cast<int>((qint64{length} * 25 + 1) / 3); };
  constexpr int kLeft = 99;
  constexpr int kTop = 119;
  const int width = std::max(pixels(points.width()) - 2 * kLeft, 0);
  const int height = std::max(pixels(points.height()) - 2 * kTop, 0);
  return QRect(kLeft, kTop, width, height);
}

PrintSurface::PrintSurface(const QString& pdfPath, const QPageSize& pageSize) : pdfPath_(pdfPath) {
  printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
  printer_->setOutputFileName(pdfPath);
  printer_->setOutputFormat(QPrinter::PdfFormat);
  printer_->setResolution(kPdfResolution);
  printer_->setFullPage(true);
  printer_->setPageLayout(QPageLayout(pageSize, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
  // Qt keeps page margins in whole points, so the printable area is placed by translating the
  // painter instead; the area then has exactly the size a 600 dpi laser printer reports.
  printableArea_ = PdfPrintableArea(pageSize);
}

std::unique_ptr<PrintSurface> PrintSurface::ForPdf(const QString& outputPath, const QPageSize& pageSize) {
  return std::unique_ptr<PrintSurface>(new PrintSurface(outputPath, pageSize));
}

PrintSurface::~PrintSurface() { CloseJob(); }

void PrintSurface::ReleasePrinter() {
  CloseJob();
  printer_.reset();
  printableArea_ = QRect();
}

const QPaintDevice* PrintSurface::Device() const { return printer_.get(); }

bool PrintSurface::ShowPrintDialog() {
  if (pdfPath_) return printer_ != nullptr;
  ReleasePrinter();
  if (!CanShowWindows()) {
    qCInfo(lcPrint, "no print dialog: there is no display to show it on");
    return false;
  }

  // A fresh printer starts on the system's default printer every time.
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  QPrintDialog dialog(printer.get(), QApplication::activeWindow());
  // The tool draws the whole source (or its selection) once, and the copies are made by the
  // printing system. Page ranges and "selection" are not asked of the tool; with CUPS the dialog
  // still offers "Pages from", "Pages" and "Page Set", and CUPS keeps only those pages of the
  // finished job, so a user who picks pages gets them.
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
  dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
  dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
  dialog.setOption(QAbstractPrintDialog::PrintCollateCopies, true);
  if (dialog.exec() != QDialog::Accepted) {
    qCInfo(lcPrint, "print dialog cancelled: nothing printed");
    return false;
  }

  printer->setPrintRange(QPrinter::AllPages);
  PassCollation(*printer);
  printer_ = std::move(printer);
  printableArea_ = QRect(0, 0, printer_->width(), printer_->height());
  qCInfo(lcPrint, "printer \"%s\" at %d dpi, printable area %d x %d, copies %d%s",
         qUtf8Printable(printer_->printerName()), printer_->resolution(), printableArea_.width(),
         printableArea_.height(), printer_->copyCount(), printer_->collateCopies() ? ", collated" : "");
  return true;
}

int PrintSurface::PrintableWidth() const { return printer_ ? printableArea_.width() : 0; }

int PrintSurface::PrintableHeight() const { return printer_ ? printableArea_.height() : 0; }

int PrintSurface::OpenJob(const QString& documentName) {
  if (!printer_ || painter_) return 0;
  printer_->setDocName(documentName);
  auto painter = std::make_unique<QPainter>();
  // Beginning the painter starts the job and its first page.
  if (!painter->begin(printer_.get())) return 0;
  if (pdfPath_) {
    painter->translate(printableArea_.topLeft());
    painter->setClipRect(QRect(QPoint(0, 0), printableArea_.size()));
  }
  painter_ = std::move(painter);
  return ++jobCount_;
}

bool PrintSurface::BeginDrawing() {
  if (!printer_ || !painter_ || !painter_->isActive()) return false;
  if (Drawing()) EndDrawing();
  // Keeps what the painter held before drawing began, for EndDrawing.
  painter_->save();
  state_ = DrawingState{};
  painter_->setPen(QPen(Qt::black, 0));
  painter_->setBrush(Qt::black);
  painter_->setBackground(Qt::black);
  painter_->setBackgroundMode(Qt::OpaqueMode);
  painter_->setRenderHint(QPainter::Antialiasing, false);
  painter_->setRenderHint(QPainter::LosslessImageRendering, true);
  SelectFont(QGuiApplication::font());
  return true;
}

void PrintSurface::NextPage() {
  if (!printer_ || !painter_) return;
  // The painter keeps font, pen, brush, background, transform and clip across the page break.
  printer_->newPage();
}

void PrintSurface::EndDrawing() {
  if (!Drawing()) return;
  state_.reset();
  if (painter_) painter_->restore();
}

void PrintSurface::CloseJob() {
  if (!painter_) return;
  EndDrawing();
  // Ending the painter hands the job to the printing system.
  painter_->end();
  painter_.reset();
  if (pdfPath_) return;
  // The tool says nothing of a refused job; the diagnostics do, when the user turned them on.
  const QString refusal = RefusedJobReason();
  if (refusal.isEmpty()) {
    qCInfo(lcPrint, "printer \"%s\" took the job", qUtf8Printable(printer_->printerName()));
  } else {
    qCWarning(lcPrint, "printer \"%s\" refused the job: %s", qUtf8Printable(printer_->printerName()),
              qUtf8Printable(refusal));
  }
}

void PrintSurface::SelectFont(const QFont& font) {
  currentFont_ = font;
  if (painter_ && Drawing()) painter_->setFont(font);
  metrics_.reset();
  wholeMeasureUnits_ = 0;
  advanceCache_ = nullptr;
}

void PrintSurface::UseFont(const Font& font) {
  if (!font.valid) return;
  SelectFont(font.qfont);
}

void PrintSurface::SetForeground(QRgb colour) {
  if (Drawing()) state_->pendingFront = static_cast<int>(colour & 0xFFFFFF);
}

void PrintSurface::SetBackground(QRgb colour) {
  if (Drawing()) state_->pendingBack = static_cast<int>(colour & 0xFFFFFF);
}

void PrintSurface::SetTransparentText() {
  if (!Drawing()) return;
  state_->mode = kTransparentTextMode;
  painter_->setBackgroundMode(Qt::TransparentMode);
}

void PrintSurface::ApplyFront(int colour) {
  if (colour == state_->appliedFront) return;
  state_->appliedFront = colour;
  const QColor qcolour = ToQColor(colour);
  painter_->setPen(QPen(qcolour, 0));
  painter_->setBrush(qcolour);
}

void PrintSurface::ApplyBack(int colour) {
  if (colour == state_->appliedBack) return;
  state_->appliedBack = colour;
  painter_->setBackground(ToQColor(colour));
}

const QFontMetrics& PrintSurface::Metrics() {
  if (!metrics_) {
    metrics_.emplace(currentFont_, Device());
    wholeMeasureUnits_ = 0;
  }
  return *metrics_;
}

qsizetype PrintSurface::WholeMeasureUnits() {
  if (wholeMeasureUnits_ == 0) {
    const QFontMetrics& metrics = Metrics();
    const qint64 em = std::max({metrics.maxWidth(), metrics.height(), 1});
    wholeMeasureUnits_ = std::max<qint64>(1, (kFixedPointPixelCeiling - 1) / (kWidestUnitInEm * em));
  }
  return wholeMeasureUnits_;
}

qint64 PrintSurface::MeasureWhole(QStringView text) {
  return Metrics().horizontalAdvance(text.toString());
}

// Walks the text in consecutive pieces and calls visit(from, to, width, plain) for each. The text
// is first cut into chunks at every additive cut (the units on both sides have an additive
// advance). A plain piece is a run of one-unit chunks, as wide as the sum of their advances;
// every other chunk is a shaped piece, shaped and measured on its own. The width of a text is the
// sum of its pieces' widths, so widths add up at additive cuts whatever Qt's shaping would make
// of the context beyond a cut (the script of neutral characters next to a fallback symbol or a
// right-to-left word, for one). No piece is longer than WholeMeasureUnits().
template <typename Visit>
void PrintSurface::ForEachPiece(QStringView text, Visit visit) {
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
          visit(chunkStart + from, chunkStart + to, MeasureWhole(chunk.sliced(from, to - from)),
                false);
          from = to;
        }
      }
      plainStart = chunkEnd;
    }
  });
  finishPlain(size);
}

int PrintSurface::MeasureText(const QString& original) {
  if (original.isEmpty() || !Device()) return 0;
  const QString text = WithoutTabs(original);
  qint64 width = 0;
  ForEachPiece(text, [&](qsizetype, qsizetype, qint64 pieceWidth, bool) { width += pieceWidth; });
  return ClampToInt(width);
}

int PrintSurface::WidestAdvance() {
  if (!Device()) return 0;
  return Metrics().maxWidth();
}

PrintSurface::AdvanceCache& PrintSurface::CurrentAdvanceCache() {
  if (advanceCache_ != nullptr) return *advanceCache_;
  // QFont::key leaves out kerning and hinting, which change advances.
  const QString key = currentFont_.key() + QLatin1Char('/') +
                      QString::number(currentFont_.kerning()) + QLatin1Char('/') +
                      QString::number(currentFont_.hintingPreference());
  auto [entry, created] = advanceCaches_.try_emplace(key);
  advanceCache_ = &entry->second;
  if (created) {
    const QFont deviceFont(currentFont_, Device());
    advanceCache_->additiveFont = QFontInfo(deviceFont).fixedPitch() && !currentFont_.kerning();
    if (advanceCache_->additiveFont) {
      advanceCache_->advances.assign(kUnitCount, kUnknownAdvance);
      advanceCache_->rawFont = QRawFont::fromFont(deviceFont);
    }
  }
  return *advanceCache_;
}

int PrintSurface::AdditiveAdvance(char16_t unit) {
  if (!Device()) return -1;
  AdvanceCache& cache = CurrentAdvanceCache();
  if (!cache.additiveFont) return -1;
  int& cached = cache.advances[unit];
  if (cached == kUnknownAdvance) cached = ComputeAdditiveAdvance(unit);
  return cached;
}

int PrintSurface::ComputeAdditiveAdvance(char16_t unit) {
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

int PrintSurface::PutText(int x, int y, const QString& original) {
  if (!Drawing()) return x;
  ApplyFront(state_->pendingFront);
  ApplyBack(state_->pendingBack);
  if (original.isEmpty()) return x;
  const QString text = WithoutTabs(original);

  // Drawn piece by piece at the positions MeasureText gives, so that a row is exactly as wide on
  // the page as it was measured. Only pieces that can show are drawn: Qt would place the glyphs
  // of a very long text at wrapped-around positions.
  const qint64 margin = kWidestUnitInEm * qint64{std::max(Metrics().height(), 1)};
  const qint64 visibleLeft = -margin;
  const qint64 visibleRight = qint64{std::max(printableArea_.width(), 0)} + margin;
  const int baseline = Metrics().ascent();
  qint64 pen = x;
  ForEachPiece(text, [&](qsizetype from, qsizetype to, qint64 width, bool plain) {
    if (pen < visibleRight && pen + width > visibleLeft) {
      const QString piece = text.mid(from, to - from);
      const int pieceX = static_cast<int>(pen);
      if (!plain || !PutPlacedGlyphs(pieceX, y + baseline, piece)) {
        painter_->drawText(QPoint(pieceX, y + baseline), piece);
      }
    }
    pen += width;
  });
  return ClampToInt(pen);
}

// Where every unit has an additive advance, the glyphs are placed from the cached advances
// instead of being shaped again: the same glyphs at the same positions, in half the time.
// An opaque background is left to drawText, which paints the cell behind the text.
bool PrintSurface::PutPlacedGlyphs(int x, int baseline, const QString& text) {
  if (state_->mode != kTransparentTextMode) return false;
  AdvanceCache& cache = CurrentAdvanceCache();
  if (!cache.additiveFont) return false;
  glyphPositions_.resize(text.size());
  int pen = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const int advance = AdditiveAdvance(text[i].unicode());
    if (advance < 0) return false;
    glyphPositions_[i] = QPointF(pen, 0);
    pen += advance;
  }
  const QList<quint32> glyphs = cache.rawFont.glyphIndexesForString(text);
  if (glyphs.size() != text.size()) return false;
  glyphRun_.setRawFont(cache.rawFont);
  glyphRun_.setGlyphIndexes(glyphs);
  glyphRun_.setPositions(glyphPositions_);
  painter_->drawGlyphRun(QPointF(x, baseline), glyphRun_);
  return true;
}

void PrintSurface::FillBox(int x, int y, int width, int height, QRgb colour) {
  if (!Drawing()) return;
  // The box's colour becomes the applied colour only; the pending text colour stays, so the next
  // text puts its own colour back.
  ApplyFront(static_cast<int>(colour & 0xFFFFFF));
  if (width <= 0 || height <= 0) return;
  painter_->fillRect(QRect(x, y, width, height), painter_->brush());
}

void PrintSurface::PutImage(const QImage& image, int x, int y) {
  if (!Drawing() || image.isNull()) return;
  painter_->drawImage(QPoint(x, y), image);
}

}  // namespace folivane
