#include "surface/print_queue.h"

#include <QPrintEngine>
#include <QPrinter>
#include <QStringList>

namespace folivane {

namespace {

// The property under which Qt's CUPS print engine keeps the extra options it hands to CUPS with
// the job, as name-value pairs in one list; the print dialog puts its page-set and page-range
// choices there too. Qt keeps the key in a private header; its value has not changed since Qt 5.
// Qt's other print engines ignore the property.
constexpr auto kCupsOptionsProperty = QPrintEngine::PrintEnginePropertyKey(0xfe00);

void SetCupsOption(QPrinter& printer, const QString& name, const QString& value) {
  QPrintEngine* engine = printer.printEngine();
  if (engine == nullptr) return;
  QStringList options = engine->property(kCupsOptionsProperty).toStringList();
  qsizetype index = 0;
  while (index + 1 < options.size() && options[index] != name) index += 2;
  if (index + 1 < options.size()) {
    options[index + 1] = value;
  } else {
    options.append({name, value});
  }
  engine->setProperty(kCupsOptionsProperty, options);
}

}  // namespace

void PassCollation(QPrinter& printer) {
  if (printer.outputFormat() != QPrinter::NativeFormat) return;
  if (printer.copyCount() > 1 && !printer.collateCopies()) {
    SetCupsOption(printer, QStringLiteral("Collate"), QStringLiteral("False"));
  }
}

}  // namespace folivane
