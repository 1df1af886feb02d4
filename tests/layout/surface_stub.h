// A drawing surface that does nothing, for tests that only measure; subclasses give MeasureText.
#pragma once

#include <QImage>
#include <QString>

#include "surface/drawing_surface.h"

namespace folivane {

class SurfaceStub : public DrawingSurface {
 public:
  bool ShowPrintDialog() override { return false; }
  int PrintableWidth() const override { return 0; }
  int PrintableHeight() const override { return 0; }
  int OpenJob(const QString&) override { return 0; }
  bool BeginDrawing() override { return false; }
  void NextPage() override {}
  void EndDrawing() override {}
  void CloseJob() override {}
  void UseFont(const Font&) override {}
  void SetForeground(QRgb) override {}
  void SetBackground(QRgb) override {}
  void SetTransparentText() override {}
  int WidestAdvance() override { return 0; }
  int PutText(int x, int, const QString&) override { return x; }
  void FillBox(int, int, int, int, QRgb) override {}
  void PutImage(const QImage&, int, int) override {}
};

}  // namespace folivane
