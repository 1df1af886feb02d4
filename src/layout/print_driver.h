// The print driver: one print job from the print dialog to the released fonts, page by page.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>

#include "intake/source_copy.h"
#include "layout/date_stamp.h"
#include "settings/print_choices.h"
#include "layout/print_list.h"
#include "surface/drawing_surface.h"

namespace folivane {

inline constexpr char kJobName[] = "PureBasic - Folivane";
// Pages after the first without the full header start the listing this many units higher.
inline constexpr int kBannerOnlyLift = 23;

// How far a job has come, told after each finished page.
struct JobProgress {
  qint32 pagesDone = 0;
  qint64 lineReached = 0;  // the source line last drawn
  qint64 lastLine = 0;     // the range's last line
};

struct PrintRequest {
  SourceText source;   // the lines to print and the IDE version for the header
  QString sourcePath;  // whose file name the header shows
  QString selection;   // "12x5x20x1", or empty for the whole source
  FontSize fontSize = FontSize::Regular;
  HeaderPlacement headerPlacement = HeaderPlacement::EveryPage;
  int displayDpi = 96;  // for the font sizes asked of the font service
  LocalClock clock;
  std::function<void(const JobProgress&)> progress;  // may be empty
};

// Asks for a printer and prints the request as one job. Nothing happens after a cancelled dialog,
// on a printable area too small for the layout grid, or when the job cannot be opened.
void RunPrintDriver(DrawingSurface& surface, const PrintRequest& request);

}  // namespace folivane
