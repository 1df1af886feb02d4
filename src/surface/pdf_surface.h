// The PDF surface of the batch tool: the drawing seam on our own PDF writer.
#pragma once

#include <QDateTime>
#include <QGlyphRun>
#include <QImage>
#include <QList>
#include <QPageSize>
#include <QRect>
#include <QPointF>
#include <QRawFont>
#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "surface/drawing_surface.h"
#include "pdf/content_stream.h"
#include "pdf/pdf_document.h"
#include "surface/text_measure.h"

class QIODevice;
class QTextLayout;
namespace folivane {

// Draws the job into a PDF document at 600 dpi (kPdfResolution), on pages of a given size with a given
// printable area, as the Qt PDF target lays them out (PdfPrintableArea). Text is measured by Qt at
// that resolution, with Qt's fonts and fallback fonts, and placed glyph by glyph where Qt would
// draw it; fonts are embedded as subsets, the logo once. Equal input gives equal bytes.
class PdfSurface final : public DrawingSurface {
 public:
  // Writes to `output`, open for writing, which outlives the surface. `creationDate` goes into the
  // document information when valid. `workers` threads deflate the pages (0: on the drawing
  // thread; -1: one per core).
  PdfSurface(QIODevice& output, const QPageSize& pageSize, const QRect& printableArea,
             const QDateTime& creationDate = {}, int workers = -1);
  ~PdfSurface() override;
  PdfSurface(const PdfSurface&) = delete;
  PdfSurface& operator=(const PdfSurface&) = delete;

  // True once CloseJob has handed the whole document to the output; the output says why not.
  bool Written() const { return written_; }

  bool ShowPrintDialog() override { return true; }
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

  int MeasureText(const QString& text) override { return measurer_.MeasureText(text); }
  int AdditiveAdvance(char16_t unit) override { return measurer_.AdditiveAdvance(unit); }
  int WidestAdvance() override { return measurer_.WidestAdvance(); }
  int PutText(int x, int y, const QString& text) override;
  void FillBox(int x, int y, int width, int height, QRgb colour) override;
  void PutImage(const QImage& image, int x, int y) override;
  void BeginRepeatedPart() override;
  void EndRepeatedPart() override;

 private:
  struct ShapedRun {
    QRawFont font;
    QList<quint32> glyphs;
    QList<QPointF> positions;  // from the piece's start on its baseline
  };
  static constexpr qsizetype kKeptPieceUnits = 16;
  static constexpr qsizetype kKeptPartPieceUnits = 1024;
  // Pieces up to this long map their glyphs to text cluster by cluster; longer ones (a line of
  // CJK, say) by the fonts' character maps, as asking Qt cluster by cluster costs the square.
  static constexpr qsizetype kClusterNotedUnits = 64;
  static constexpr std::size_t kKeptPieces = 4096;

  // A repeated part's content; drawn inline where first seen, and from a form once seen again.
  struct RepeatedPart {
    ContentStream content;
    std::string form;  // its name, once it has one
  };
  static constexpr std::size_t kKeptParts = 8;

  struct DrawingState {
    QRgb pendingFront = kWhite;
    QRgb pendingBack = kBlack;
    bool transparent = false;
  };

  void StartPage();
  void FinishPage();
  void SetFill(QRgb colour);
  void EnterText();
  void LeaveText();
  void PutPiece(double x, double baseline, QStringView text, bool plain);
  const std::vector<ShapedRun>& ShapedRuns(const QString& piece);
  void NoteClusters(const QTextLayout& layout, const QString& piece);
  void NoteCharacters(const QGlyphRun& run, const QString& piece);
  void PutGlyphs(const QRawFont& font, const quint32* glyphs, const QPointF* positions, qsizetype count, double x,
                 double baseline, const char16_t* plainText);
  void PutOutlines(const QRawFont& font, const quint32* glyphs, const QPointF* positions, qsizetype count, double x,
                   double baseline);

  QIODevice& output_;
  QSize pagePoints_;
  QRect printableArea_;
  QDateTime creationDate_;
  QString title_;
  QImage metricsDevice_;  // 600 dpi, for measuring only
  TextMeasurer measurer_;
  std::optional<PdfDocument> document_;
  int workers_ = 0;
  bool written_ = false;
  std::optional<DrawingState> state_;
  std::vector<RepeatedPart> parts_;

  // The page being drawn; while a repeated part is drawn, content_ holds the part's and
  // pageContent_ the page's.
  ContentStream content_;
  ContentStream pageContent_;
  bool inPart_ = false;
  double lineX_ = 0;  // where the last string started, device pixels
  double lineY_ = 0;
  int textResource_ = -1;  // with textFont_, the font the viewer draws with now
  int textFont_ = -1;
  std::unordered_map<QString, std::vector<ShapedRun>> shapedPieces_;  // by font key and text
  std::vector<ShapedRun> unkeptRuns_;
  GlyphString pendingString_;
  struct SettledGlyph {
    double advance = 0;
    int font = 0;
    std::uint16_t code = 0;  // of one byte
    bool known = false;
  };
  std::vector<std::vector<SettledGlyph>> settledGlyphs_;  // by font resource and glyph id
  QList<quint32> glyphs_;
  QList<QPointF> positions_;
};

}  // namespace folivane
