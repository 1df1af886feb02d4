// The drawing surface on a QPainter: Qt's PDF writer for folivane-pdf, the base of the printers' surface.
#pragma once

#include <QFont>
#include <QGlyphRun>
#include <QPageSize>
#include <QRect>
#include <QString>
#include <memory>
#include <optional>

#include "surface/drawing_surface.h"
#include "surface/text_measure.h"

class QPagedPaintDevice;
class QPainter;

class QIODevice;

namespace folivane {

// Page geometry of the PDF target: 600 dpi, and on A4 (595 x 842 points, 4958 x 7017 pixels) the
// printable area that a typical laser printer reports there, 4760 x 6779 pixels at (99, 119).
inline constexpr int kPdfResolution = 600;

// The printable area of the PDF target on a page of any size: the page at kPdfResolution less
// the margins of that laser printer on A4 (99 pixels left and right, 119 at the top and the bottom).
QRect PdfPrintableArea(const QPageSize& pageSize);

// Draws the job with a QPainter on the paged device it owns. Needs Qt Gui alone, so that
// folivane-pdf can print through Qt's PDF engine without Qt's print support.
class PainterSurface : public DrawingSurface {
 public:
  // A surface that prints a PDF into `output` (open for writing, outliving the surface) through
  // Qt's PDF engine with pages of `pageSize`; it needs no dialog and its printable area is
  // PdfPrintableArea(pageSize).
  static std::unique_ptr<PainterSurface> ForPdf(QIODevice& output,
                                                const QPageSize& pageSize = QPageSize(QPageSize::A4));
  ~PainterSurface() override;

  PainterSurface(const PainterSurface&) = delete;
  PainterSurface& operator=(const PainterSurface&) = delete;

  // True once a job was opened and its painter ended well, handing the job to the device.
  bool JobEnded() const { return jobEnded_; }

  // True when the surface has a device: a surface of its own device asks nobody.
  bool ShowPrintDialog() override;
  int PrintableWidth() const override;
  int PrintableHeight() const override;
  int OpenJob(const QString& documentName) override;
  bool BeginDrawing() override;
  void NextPage() override;
  void EndDrawing() override;
  void CloseJob() override;

  void UseFont(const Font& font) override;
  void SetForeground(QRgb colour) override;
  void SetBackground(QRgb colour) override;
  void SetTransparentText() override;

  int MeasureText(const QString& text) override;
  int AdditiveAdvance(char16_t unit) override;
  int WidestAdvance() override;
  int PutText(int x, int y, const QString& text) override;
  void FillBox(int x, int y, int width, int height, QRgb colour) override;
  void PutImage(const QImage& image, int x, int y) override;

 protected:
  // Where the printable area lies on the device: a printer reports its own area as the whole
  // device; on a page of our own the area is placed by translating the painter and clipped.
  enum class AreaPlacement { WholeDevice, TranslatedAndClipped };

  PainterSurface();
  // Closes any open job, then draws on `device` (nothing when null) within `printableArea`.
  void SetDevice(std::unique_ptr<QPagedPaintDevice> device, const QRect& printableArea, AreaPlacement placement);
  bool HasDevice() const { return device_ != nullptr; }
  // Gives the job its name on the device, before the painter starts it.
  virtual void NameJob(const QString& documentName) = 0;
  // Called once the painter has handed the finished job to the device.
  virtual void JobHandedOver() {}

 private:
  static constexpr int kNoColour = -1;
  bool jobEnded_ = false;
  static constexpr int kTransparentTextMode = 1;

  struct DrawingState {
    int pendingFront = static_cast<int>(kWhite);
    int pendingBack = static_cast<int>(kBlack);
    int appliedFront = kNoColour;
    int appliedBack = kNoColour;
    int mode = 0;
  };

  void SelectFont(const QFont& font);
  void ApplyFront(int colour);
  void ApplyBack(int colour);
  bool PutPlacedGlyphs(int x, int baseline, const QString& text);
  bool Drawing() const { return state_.has_value(); }

  std::unique_ptr<QPagedPaintDevice> device_;
  std::unique_ptr<QPainter> painter_;
  QRect printableArea_;
  AreaPlacement placement_ = AreaPlacement::WholeDevice;
  int jobCount_ = 0;

  std::optional<DrawingState> state_;
  TextMeasurer measurer_;
  QGlyphRun glyphRun_;
  QList<quint32> glyphIndexes_;
  QList<QPointF> glyphPositions_;
};

}  // namespace folivane
