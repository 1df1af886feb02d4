// A drawing surface double that records every drawing call and measures each UTF-16 unit at a fixed width.
#pragma once

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include "surface/drawing_surface.h"

namespace folivane {

// The face name a font was made for, e.g. "Courier New Bold": its family, with " Bold" when the
// family had to be asked for in bold weight.
inline QString FaceOf(const Font& font) {
  return font.qfont.bold() ? font.qfont.family() + QStringLiteral(" Bold") : font.qfont.family();
}

struct SurfaceCall {
  enum class Kind {
    ShowPrintDialog,
    OpenJob,
    BeginDrawing,
    NextPage,
    EndDrawing,
    CloseJob,
    UseFont,
    SetForeground,
    SetBackground,
    SetTransparentText,
    PutText,
    FillBox,
    PutImage,
  };
  Kind kind = Kind::PutText;
  int page = 0;  // 1 for the first page, one more after each NextPage
  int x = 0;     // device pixels (PutText, FillBox, PutImage)
  int y = 0;
  int width = 0;  // FillBox size, or the image's size for PutImage
  int height = 0;
  QRgb colour = 0;           // SetForeground/SetBackground/FillBox colour; the pending front colour for PutText
  QString text;              // PutText text, OpenJob document name, UseFont face name
  QString font;              // face of the font last chosen with UseFont (PutText only)
  int pixelSize = 0;         // UseFont: the font's character height
  bool transparent = false;  // PutText: transparent text background was in force
};

class RecordingSurface : public DrawingSurface {
 public:
  // What the simulated printer answers.
  bool dialogResult = true;
  int printableWidth = 4760;
  int printableHeight = 6779;
  int jobId = 1;
  bool beginDrawingResult = true;
  int unitWidth = 10;     // device pixels per UTF-16 unit in every font
  bool recording = true;  // false keeps the counters but stores no calls (for long runs)

  QList<SurfaceCall> calls;
  long long measureCount = 0;
  long long putTextCount = 0;

  bool ShowPrintDialog() override {
    Record(SurfaceCall::Kind::ShowPrintDialog);
    hasPrinter_ = dialogResult;
    return dialogResult;
  }
  int PrintableWidth() const override { return hasPrinter_ ? printableWidth : 0; }
  int PrintableHeight() const override { return hasPrinter_ ? printableHeight : 0; }
  int OpenJob(const QString& documentName) override {
    SurfaceCall call = Make(SurfaceCall::Kind::OpenJob);
    call.text = documentName;
    Store(call);
    return hasPrinter_ ? jobId : 0;
  }
  bool BeginDrawing() override {
    Record(SurfaceCall::Kind::BeginDrawing);
    foreground_ = kWhite;
    background_ = kBlack;
    transparent_ = false;
    return hasPrinter_ && beginDrawingResult;
  }
  void NextPage() override {
    ++page_;
    Record(SurfaceCall::Kind::NextPage);
  }
  void EndDrawing() override { Record(SurfaceCall::Kind::EndDrawing); }
  void CloseJob() override { Record(SurfaceCall::Kind::CloseJob); }

  void UseFont(const Font& font) override {
    font_ = FaceOf(font);
    SurfaceCall call = Make(SurfaceCall::Kind::UseFont);
    call.text = font_;
    call.pixelSize = font.pixelSize;
    Store(call);
  }
  void SetForeground(QRgb colour) override {
    foreground_ = colour;
    SurfaceCall call = Make(SurfaceCall::Kind::SetForeground);
    call.colour = colour;
    Store(call);
  }
  void SetBackground(QRgb colour) override {
    background_ = colour;
    SurfaceCall call = Make(SurfaceCall::Kind::SetBackground);
    call.colour = colour;
    Store(call);
  }
  void SetTransparentText() override {
    transparent_ = true;
    Record(SurfaceCall::Kind::SetTransparentText);
  }

  int MeasureText(const QString& text) override {
    ++measureCount;
    return static_cast<int>(text.size()) * unitWidth;
  }
  int AdditiveAdvance(char16_t) override { return unitWidth; }
  int WidestAdvance() override { return unitWidth; }

  int PutText(int x, int y, const QString& text) override {
    ++putTextCount;
    SurfaceCall call = Make(SurfaceCall::Kind::PutText);
    call.x = x;
    call.y = y;
    call.text = text;
    call.font = font_;
    call.colour = foreground_;
    call.transparent = transparent_;
    Store(call);
    return x + MeasureText(text);
  }
  void FillBox(int x, int y, int width, int height, QRgb colour) override {
    SurfaceCall call = Make(SurfaceCall::Kind::FillBox);
    call.x = x;
    call.y = y;
    call.width = width;
    call.height = height;
    call.colour = colour;
    Store(call);
  }
  void PutImage(const QImage& image, int x, int y) override {
    SurfaceCall call = Make(SurfaceCall::Kind::PutImage);
    call.x = x;
    call.y = y;
    call.width = image.width();
    call.height = image.height();
    Store(call);
  }

  QList<SurfaceCall> CallsOf(SurfaceCall::Kind kind) const {
    QList<SurfaceCall> matching;
    for (const SurfaceCall& call : calls)
      if (call.kind == kind) matching.append(call);
    return matching;
  }

  // Texts drawn in the given font, in drawing order.
  QList<SurfaceCall> TextsIn(const QString& face) const {
    QList<SurfaceCall> matching;
    for (const SurfaceCall& call : calls)
      if (call.kind == SurfaceCall::Kind::PutText && call.font == face) matching.append(call);
    return matching;
  }

  // One line per call, e.g. `p1 PutText 276,312 "5.73" font="Arial Bold" colour=000000 transparent`.
  static QString Describe(const SurfaceCall& call) {
    const QString page = QStringLiteral("p%1 ").arg(call.page);
    const auto hex = [](QRgb colour) { return QStringLiteral("%1").arg(colour & 0xFFFFFF, 6, 16, QLatin1Char('0')); };
    switch (call.kind) {
      case SurfaceCall::Kind::ShowPrintDialog: return page + QStringLiteral("ShowPrintDialog");
      case SurfaceCall::Kind::OpenJob: return page + QStringLiteral("OpenJob \"%1\"").arg(call.text);
      case SurfaceCall::Kind::BeginDrawing: return page + QStringLiteral("BeginDrawing");
      case SurfaceCall::Kind::NextPage: return page + QStringLiteral("NextPage");
      case SurfaceCall::Kind::EndDrawing: return page + QStringLiteral("EndDrawing");
      case SurfaceCall::Kind::CloseJob: return page + QStringLiteral("CloseJob");
      case SurfaceCall::Kind::UseFont: return page + QStringLiteral("UseFont \"%1\"").arg(call.text);
      case SurfaceCall::Kind::SetForeground: return page + QStringLiteral("SetForeground ") + hex(call.colour);
      case SurfaceCall::Kind::SetBackground: return page + QStringLiteral("SetBackground ") + hex(call.colour);
      case SurfaceCall::Kind::SetTransparentText: return page + QStringLiteral("SetTransparentText");
      case SurfaceCall::Kind::PutText:
        return page + QStringLiteral("PutText %1,%2 \"%3\" font=\"%4\" colour=%5%6")
                          .arg(call.x)
                          .arg(call.y)
                          .arg(call.text, call.font, hex(call.colour),
                               call.transparent ? QStringLiteral(" transparent") : QString());
      case SurfaceCall::Kind::FillBox:
        return page + QStringLiteral("FillBox %1,%2 %3x%4 %5")
                          .arg(call.x)
                          .arg(call.y)
                          .arg(call.width)
                          .arg(call.height)
                          .arg(hex(call.colour));
      case SurfaceCall::Kind::PutImage:
        return page + QStringLiteral("PutImage %1,%2 %3x%4").arg(call.x).arg(call.y).arg(call.width).arg(call.height);
    }
    return page;
  }

  QStringList Dump() const {
    QStringList lines;
    for (const SurfaceCall& call : calls) lines.append(Describe(call));
    return lines;
  }

 private:
  SurfaceCall Make(SurfaceCall::Kind kind) const {
    SurfaceCall call;
    call.kind = kind;
    call.page = page_;
    return call;
  }
  void Record(SurfaceCall::Kind kind) { Store(Make(kind)); }
  void Store(const SurfaceCall& call) {
    if (recording) calls.append(call);
  }

  bool hasPrinter_ = false;
  int page_ = 1;
  QString font_;
  QRgb foreground_ = kWhite;
  QRgb background_ = kBlack;
  bool transparent_ = false;
};

}  // namespace folivane
