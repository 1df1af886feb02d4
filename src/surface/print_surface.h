// The print surface on Qt: print dialog and print job on the system's printers.
#pragma once

#include <QString>

#include "surface/painter_surface.h"

class QPrinter;

namespace folivane {

// Owns the printer chosen in the print dialog and draws the job on it as the painter surface does.
class PrintSurface final : public PainterSurface {
 public:
  // A surface for the system's printers: it has no printer until the print dialog is confirmed.
  PrintSurface();
  ~PrintSurface() override;

  bool ShowPrintDialog() override;

 private:
  void NameJob(const QString& documentName) override;
  // The printing system may refuse the job; the diagnostics say so, the tool does not.
  void JobHandedOver() override;
  void ReleasePrinter();

  QPrinter* printer_ = nullptr;  // the device the painter surface owns, while there is one
};

}  // namespace folivane
