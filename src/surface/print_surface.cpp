#include "surface/print_surface.h"

#include <QApplication>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>

#include "base/diagnostics.h"
#include "base/display.h"
#include "surface/print_queue.h"

namespace folivane {

PrintSurface::PrintSurface() = default;

// Closed here, while the printer is still a QPrinter, so that the refusal check still runs.
PrintSurface::~PrintSurface() { CloseJob(); }

void PrintSurface::ReleasePrinter() {
  SetDevice(nullptr, QRect(), AreaPlacement::WholeDevice);
  printer_ = nullptr;
}

bool PrintSurface::ShowPrintDialog() {
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
  const QRect printableArea(0, 0, printer->width(), printer->height());
  qCInfo(lcPrint, "printer \"%s\" at %d dpi, printable area %d x %d, copies %d%s",
         qUtf8Printable(printer->printerName()), printer->resolution(), printableArea.width(), printableArea.height(),
         printer->copyCount(), printer->collateCopies() ? ", collated" : "");
  printer_ = printer.get();
  SetDevice(std::move(printer), printableArea, AreaPlacement::WholeDevice);
  return true;
}

void PrintSurface::NameJob(const QString& documentName) { printer_->setDocName(documentName); }

void PrintSurface::JobHandedOver() {
  // "Print to File" writes a PDF itself, with no queue to ask: CUPS's last answer is an older one's.
  if (printer_->outputFormat() == QPrinter::PdfFormat) {
    const QString file = printer_->outputFileName();
    if (QFileInfo(file).size() > 0) {
      qCInfo(lcPrint, "PDF \"%s\" written", qUtf8Printable(file));
    } else {
      qCWarning(lcPrint, "PDF \"%s\" not written", qUtf8Printable(file));
    }
    return;
  }
  const QString refusal = RefusedJobReason();
  if (refusal.isEmpty()) {
    qCInfo(lcPrint, "printer \"%s\" took the job", qUtf8Printable(printer_->printerName()));
  } else {
    qCWarning(lcPrint, "printer \"%s\" refused the job: %s", qUtf8Printable(printer_->printerName()),
              qUtf8Printable(refusal));
  }
}

}  // namespace folivane
