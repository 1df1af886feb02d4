#include "surface/print_surface.h"

#include <QApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QRawFont>
#include <algorithm>
#include <limits>

#include "surface/diagnostics.h"
#include "surface/display.h"
#include "surface/print_queue.h"

namespace folivane {

namespace {

QColor ToQColor(int colour) {
  return QColor::fromRgb(static_cast<QRgb>(colour) | 0xFF000000u);
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
  measurer_.SetDevice(printer_.get());
}

std::unique_ptr<PrintSurface> PrintSurface::ForPdf(const QString& outputPath, const QPageSize& pageSize) {
  return std::unique_ptr<PrintSurface>(new PrintSurface(outputPath, pageSize));
}

PrintSurface::~PrintSurface() { CloseJob(); }

void PrintSurface::ReleasePrinter() {
  CloseJob();
  printer_.reset();
  measurer_.SetDevice(nullptr);
  printableArea_ = QRect();
}

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
  measurer_.SetDevice(printer_.get());
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
  if (painter_ && Drawing()) painter_->setFont(font);
  measurer_.SelectFont(font);
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

int PrintSurface::MeasureText(const QString& text) { return measurer_.MeasureText(text); }

int PrintSurface::AdditiveAdvance(char16_t unit) { return measurer_.AdditiveAdvance(unit); }

int PrintSurface::WidestAdvance() { return measurer_.WidestAdvance(); }

int PrintSurface::PutText(int x, int y, const QString& original) {
  if (!Drawing()) return x;
  ApplyFront(state_->pendingFront);
  ApplyBack(state_->pendingBack);
  if (original.isEmpty()) return x;
  const QString text = WithoutTabs(original);

  // Drawn piece by piece at the positions MeasureText gives, so that a row is exactly as wide on
  // the page as it was measured. Only pieces that can show are drawn: Qt would place the glyphs
  // of a very long text at wrapped-around positions.
  const QFontMetrics& metrics = measurer_.Metrics();
  const qint64 margin = TextMeasurer::kWidestUnitInEm * qint64{std::max(metrics.height(), 1)};
  const qint64 visibleLeft = -margin;
  const qint64 visibleRight = qint64{std::max(printableArea_.width(), 0)} + margin;
  const int baseline = metrics.ascent();
  qint64 pen = x;
  measurer_.ForEachPiece(text, [&](qsizetype from, qsizetype to, qint64 width, bool plain) {
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
  const QRawFont* font = nullptr;
  if (!measurer_.PlacePlainGlyphs(text, font, glyphIndexes_, glyphPositions_)) return false;
  glyphRun_.setRawFont(*font);
  glyphRun_.setGlyphIndexes(glyphIndexes_);
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
