// The drawing surface: everything the print layout needs of a printer, and the seam for test doubles.
#pragma once

#include <QFont>
#include <QColor>
#include <QImage>
#include <QString>
#include <cstdint>

namespace folivane {

inline constexpr QRgb kBlack = qRgb(0, 0, 0);
inline constexpr QRgb kWhite = qRgb(255, 255, 255);

// A font made for one print job. `valid` is false when the font service refused the request;
// selecting such a font leaves the surface's current font as it was.
struct Font {
  int pixelSize = 0;  // character (em) height in device pixels
  QFont qfont;
  bool valid = false;
};

// Where a text placed at x stands: starting at x, or ending there.
enum class Align { Left, Right };

class DrawingSurface {
 public:
  virtual ~DrawingSurface() = default;

  // Shows the system print dialog; false on cancel or failure. Never waits when nobody can answer.
  virtual bool ShowPrintDialog() = 0;
  // Size of the printable area in device pixels; 0 without a printer.
  virtual int PrintableWidth() const = 0;
  virtual int PrintableHeight() const = 0;
  // Starts the job and its first page; the job identifier (> 0), or 0 on failure.
  virtual int OpenJob(const QString& documentName) = 0;
  virtual bool BeginDrawing() = 0;
  // Ends the current page and starts the next; fonts, colours and transparency carry over.
  virtual void NextPage() = 0;
  virtual void EndDrawing() = 0;
  virtual void CloseJob() = 0;

  virtual void UseFont(const Font& font) = 0;
  virtual void SetForeground(QRgb colour) = 0;
  virtual void SetBackground(QRgb colour) = 0;
  virtual void SetTransparentText() = 0;

  // Advance width of the text in the current font, device pixels; 0 for an empty text. Exact for
  // any length: a width beyond INT_MAX gives INT_MAX.
  // Widths add up at additive cuts: a text cut only at places where the units on both sides of
  // each cut have an AdditiveAdvance >= 0 is exactly as wide as the sum of its pieces' widths.
  // No shaping, kerning or fallback font reaches across such a cut.
  virtual int MeasureText(const QString& text) = 0;
  // Advance of one UTF-16 unit in the current font, which is also what MeasureText gives for that
  // unit alone, when the widths of texts made only of such units are exactly the sums of their
  // units' advances and the unit is drawn from the current font itself; -1 when that cannot be
  // promised (surrogates, combining marks, controls, characters drawn from a fallback font,
  // kerning or proportional fonts).
  virtual int AdditiveAdvance(char16_t unit) = 0;
  // The widest advance of any character of the current font, device pixels.
  virtual int WidestAdvance() = 0;
  // Draws the text with the top-left corner of its cell at (x, y); returns the x just past it
  // (x plus MeasureText, held within int). A text of any length is drawn where it belongs.
  virtual int PutText(int x, int y, const QString& text) = 0;
  // Fills exactly width x height device pixels from (x, y); later text keeps its own colour.
  virtual void FillBox(int x, int y, int width, int height, QRgb colour) = 0;
  // Draws the image at its own pixel size with its top-left corner at (x, y); a null image draws nothing.
  virtual void PutImage(const QImage& image, int x, int y) = 0;

  // What is drawn between these two is likely drawn the same on other pages (the page furniture),
  // so a surface may keep it once and show it again; the page looks the same either way.
  virtual void BeginRepeatedPart() {}
  virtual void EndRepeatedPart() {}
};

}  // namespace folivane
