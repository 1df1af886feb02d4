#include "surface/painter_surface.h"

#include <QGuiApplication>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <algorithm>

namespace folivane {

namespace {

QColor ToQColor(int colour) { return QColor::fromRgb(static_cast<QRgb>(colour) | 0xFF000000u); }

// Qt's PDF engine behind QPdfWriter, the one its printer uses for PDF output.
class QtPdfSurface final : public PainterSurface {
 public:
  QtPdfSurface(QIODevice& output, const QPageSize& pageSize) {
    auto writer = std::make_unique<QPdfWriter>(&output);
    writer->setResolution(kPdfResolution);
    writer->setPageLayout(QPageLayout(pageSize, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    writer_ = writer.get();
    // Qt keeps page margins in whole points, so the printable area is placed by translating the
    // painter instead; the area then has exactly the size a 600 dpi laser printer reports.
    SetDevice(std::move(writer), PdfPrintableArea(pageSize), AreaPlacement::TranslatedAndClipped);
  }
  ~QtPdfSurface() override { CloseJob(); }

 private:
  void NameJob(const QString& documentName) override { writer_->setTitle(documentName); }

  QPdfWriter* writer_ = nullptr;
};

}  // namespace

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

std::unique_ptr<PainterSurface> PainterSurface::ForPdf(QIODevice& output, const QPageSize& pageSize) {
  return std::make_unique<QtPdfSurface>(output, pageSize);
}

PainterSurface::PainterSurface() = default;

PainterSurface::~PainterSurface() { CloseJob(); }

void PainterSurface::SetDevice(std::unique_ptr<QPagedPaintDevice> device, const QRect& printableArea,
                               AreaPlacement placement) {
  CloseJob();
  measurer_.SetDevice(device.get());
  device_ = std::move(device);
  printableArea_ = device_ ? printableArea : QRect();
  placement_ = placement;
}

bool PainterSurface::ShowPrintDialog() { return HasDevice(); }

int PainterSurface::PrintableWidth() const { return device_ ? printableArea_.width() : 0; }

int PainterSurface::PrintableHeight() const { return device_ ? printableArea_.height() : 0; }

int PainterSurface::OpenJob(const QString& documentName) {
  if (!device_ || painter_) return 0;
  NameJob(documentName);
  auto painter = std::make_unique<QPainter>();
  // Beginning the painter starts the job and its first page.
  if (!painter->begin(device_.get())) return 0;
  if (placement_ == AreaPlacement::TranslatedAndClipped) {
    painter->translate(printableArea_.topLeft());
    painter->setClipRect(QRect(QPoint(0, 0), printableArea_.size()));
  }
  painter_ = std::move(painter);
  return ++jobCount_;
}

bool PainterSurface::BeginDrawing() {
  if (!device_ || !painter_ || !painter_->isActive()) return false;
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

void PainterSurface::NextPage() {
  if (!device_ || !painter_) return;
  // The painter keeps font, pen, brush, background, transform and clip across the page break.
  device_->newPage();
}

void PainterSurface::EndDrawing() {
  if (!Drawing()) return;
  state_.reset();
  if (painter_) painter_->restore();
}

void PainterSurface::CloseJob() {
  if (!painter_) return;
  EndDrawing();
  // Ending the painter hands the job to the device: the file is written, or the printing system
  // takes it.
  jobEnded_ = painter_->end();
  painter_.reset();
  JobHandedOver();
}

void PainterSurface::SelectFont(const QFont& font) {
  if (painter_ && Drawing()) painter_->setFont(font);
  measurer_.SelectFont(font);
}

void PainterSurface::UseFont(const Font& font) {
  if (!font.valid) return;
  SelectFont(font.qfont);
}

void PainterSurface::SetForeground(QRgb colour) {
  if (Drawing()) state_->pendingFront = static_cast<int>(colour & 0xFFFFFF);
}

void PainterSurface::SetBackground(QRgb colour) {
  if (Drawing()) state_->pendingBack = static_cast<int>(colour & 0xFFFFFF);
}

void PainterSurface::SetTransparentText() {
  if (!Drawing()) return;
  state_->mode = kTransparentTextMode;
  painter_->setBackgroundMode(Qt::TransparentMode);
}

void PainterSurface::ApplyFront(int colour) {
  if (colour == state_->appliedFront) return;
  state_->appliedFront = colour;
  const QColor qcolour = ToQColor(colour);
  painter_->setPen(QPen(qcolour, 0));
  painter_->setBrush(qcolour);
}

void PainterSurface::ApplyBack(int colour) {
  if (colour == state_->appliedBack) return;
  state_->appliedBack = colour;
  painter_->setBackground(ToQColor(colour));
}

int PainterSurface::MeasureText(const QString& text) { return measurer_.MeasureText(text); }

int PainterSurface::AdditiveAdvance(char16_t unit) { return measurer_.AdditiveAdvance(unit); }

int PainterSurface::WidestAdvance() { return measurer_.WidestAdvance(); }

int PainterSurface::PutText(int x, int y, const QString& original) {
  if (!Drawing()) return x;
  ApplyFront(state_->pendingFront);
  ApplyBack(state_->pendingBack);
  if (original.isEmpty()) return x;
  const QString text = WithoutTabs(original);

  // Drawn piece by piece at the positions MeasureText gives, so that a row is exactly as wide on
  // the page as it was measured. Only pieces that can show are drawn: Qt would place the glyphs
  // of a very long text at wrapped-around positions.
  const TextMeasurer::VerticalMetrics metrics = measurer_.Vertical();
  const qint64 margin = TextMeasurer::kWidestUnitInEm * qint64{std::max(metrics.height, 1)};
  const qint64 visibleLeft = -margin;
  const qint64 visibleRight = qint64{std::max(printableArea_.width(), 0)} + margin;
  const int baseline = metrics.ascent;
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
bool PainterSurface::PutPlacedGlyphs(int x, int baseline, const QString& text) {
  if (state_->mode != kTransparentTextMode) return false;
  const QRawFont* font = nullptr;
  if (!measurer_.PlacePlainGlyphs(text, font, glyphIndexes_, glyphPositions_)) return false;
  glyphRun_.setRawFont(*font);
  glyphRun_.setGlyphIndexes(glyphIndexes_);
  glyphRun_.setPositions(glyphPositions_);
  painter_->drawGlyphRun(QPointF(x, baseline), glyphRun_);
  return true;
}

void PainterSurface::FillBox(int x, int y, int width, int height, QRgb colour) {
  if (!Drawing()) return;
  // The box's colour becomes the applied colour only; the pending text colour stays, so the next
  // text puts its own colour back.
  ApplyFront(static_cast<int>(colour & 0xFFFFFF));
  if (width <= 0 || height <= 0) return;
  painter_->fillRect(QRect(x, y, width, height), painter_->brush());
}

void PainterSurface::PutImage(const QImage& image, int x, int y) {
  if (!Drawing() || image.isNull()) return;
  painter_->drawImage(QPoint(x, y), image);
}

}  // namespace folivane
