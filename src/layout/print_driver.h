// The print driver: one print job from the print dialog to the released fonts, page by page.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "layout/date_stamp.h"
#include "layout/print_list.h"
#include "surface/drawing_surface.h"

namespace folivane {

inline constexpr char kJobName[] = "PureBasic - Folivane";
// Pages after the first without the full header start the listing this many units higher.
inline constexpr int kBannerOnlyLift = 23;

struct PrintRequest {
  QStringList sourceLines;
  QString sourceText;  // what the lines may refer to instead of holding their own characters
  QString ideVersion;
  QString sourcePath;
  QString selection;    // "12x5x20x1", or empty for the whole source
  qint32 fontSize = 1;  // 0 selects the Large profile
  qint32 pageHeader = 1;  // 0 puts the full header on the first page only
  int displayDpi = 96;
  LocalClock clock;
};

// Asks for a printer and prints the request as one job. Nothing happens after a cancelled dialog,
// on a printable area too small for the layout grid, or when the job cannot be opened.
void RunPrintDriver(DrawingSurface& surface, const PrintRequest& request);
// The same, appending every printed row to printedRows.
void RunPrintDriver(DrawingSurface& surface, const PrintRequest& request, PrintList& printedRows);

}  // namespace folivane
