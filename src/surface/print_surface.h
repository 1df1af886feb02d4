// The print surface on Qt: print dialog, print job and drawing operations on a printer or a PDF file.
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

class QPaintDevice;
class QPainter;
class QPrinter;

namespace folivane {

// Page geometry of the PDF target: 600 dpi, with the printable area that a typical laser printer
// reports on A4 (595 x 842 points, 4958 x 7017 pixels).
inline constexpr int kPdfResolution = 600;
inline constexpr QRect kPdfPrintableArea{99, 119, 4760, 6779};

// The printable area of the PDF target on a page of any size: the page at kPdfResolution less
// the same margins as on A4 (99 pixels left and right, 119 at the top and the bottom).
QRect PdfPrintableArea(const QPageSize& pageSize);

// Owns the printer chosen in the print dialog (or the PDF output) and the painter of the open job.
class PrintSurface final : public DrawingSurface {
 public:
  // A surface for the system's printers: it has no printer until the print dialog is confirmed.
  PrintSurface();
  // A surface that prints to a PDF file with pages of `pageSize`; it needs no dialog and its
  // printable area is PdfPrintableArea(pageSize).
  static std::unique_ptr<PrintSurface> ForPdf(const QString& outputPath,
                                              const QPageSize& pageSize = QPageSize(QPageSize::A4));
  ~PrintSurface() override;

  PrintSurface(const PrintSurface&) = delete;
  PrintSurface& operator=(const PrintSurface&) = delete;

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

 private:
  static constexpr int kNoColour = -1;
  static constexpr int kTransparentTextMode = 1;

  struct DrawingState {
    int pendingFront = static_cast<int>(kWhite);
    int pendingBack = static_cast<int>(kBlack);
    int appliedFront = kNoColour;
    int appliedBack = kNoColour;
    int mode = 0;
  };

  PrintSurface(const QString& pdfPath, const QPageSize& pageSize);
  void ReleasePrinter();
  void SelectFont(const QFont& font);
  void ApplyFront(int colour);
  void ApplyBack(int colour);
  bool PutPlacedGlyphs(int x, int baseline, const QString& text);
  bool Drawing() const { return state_.has_value(); }

  std::optional<QString> pdfPath_;
  std::unique_ptr<QPrinter> printer_;
  std::unique_ptr<QPainter> painter_;
  QRect printableArea_;
  int jobCount_ = 0;

  std::optional<DrawingState> state_;
  TextMeasurer measurer_;
  QGlyphRun glyphRun_;
  QList<quint32> glyphIndexes_;
  QList<QPointF> glyphPositions_;
};

}  // namespace folivane
