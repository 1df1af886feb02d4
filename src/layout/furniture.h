// Page furniture: header (logo, IDE version, file name), footer (rule, date stamp, page number) and banner.
#pragma once

#include <QImage>
#include <QString>
#include <QtGlobal>

#include "layout/date_stamp.h"
#include "layout/geometry.h"
#include "surface/drawing_surface.h"

namespace folivane {

// The five fonts of one print job.
struct JobFonts {
  Font body;      // "Courier New"
  Font banner;    // "Courier New Bold"
  Font footer;    // "Arial"
  Font version;   // "Arial Bold", the smaller
  Font fileName;  // "Arial Bold", the larger
};

// What every page's furniture of one job draws from; the fonts and logo belong to the print driver.
struct JobContext {
  LayoutScale scale;
  JobFonts fonts;
  QImage logo;
  QString ideVersion;
  QString sourcePath;
  LocalClock clock;
};

inline constexpr int kFullHeaderBannerY = 33;
inline constexpr int kBannerOnlyBannerY = 10;

// Draws the furniture of the current page, with the full header when asked for.
// Leaves the banner font selected, white on black pending and transparent text in force.
void DrawFurniture(DrawingSurface& surface, const JobContext& job, qint32 pageNumber, bool fullHeader);

}  // namespace folivane
