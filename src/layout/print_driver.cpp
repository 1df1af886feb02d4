#include "layout/print_driver.h"

#include "layout/furniture.h"
#include "layout/geometry.h"
#include "layout/place_text.h"
#include "base/diagnostics.h"
#include "surface/fonts.h"
#include "surface/logo.h"

namespace folivane {
namespace {

JobFonts MakeJobFonts(const JobFontSizes& sizes, int displayDpi) {
  JobFonts fonts;
  fonts.body = MakeFont(QStringLiteral("Courier New"), sizes.body, displayDpi);
  fonts.banner = MakeFont(QStringLiteral("Courier New Bold"), sizes.banner, displayDpi);
  fonts.footer = MakeFont(QStringLiteral("Arial"), sizes.footer, displayDpi);
  fonts.version = MakeFont(QStringLiteral("Arial Bold"), sizes.version, displayDpi);
  fonts.fileName = MakeFont(QStringLiteral("Arial Bold"), sizes.fileName, displayDpi);
  return fonts;
}

void UseBodyText(DrawingSurface& surface, const JobFonts& fonts) {
  surface.UseFont(fonts.body);
  surface.SetForeground(kBlack);
  surface.SetBackground(kWhite);
}

// The rows of each source line are wrapped just before they are drawn, with the body font
// selected as it is for every row, so a job holds the rows of one line at a time however long
// the source.
void EmitRows(DrawingSurface& surface, const JobContext& job, const SizeProfile& profile,
              HeaderPlacement headerPlacement, RangeWrapper& wrapper,
              const std::function<void(const JobProgress&)>& progress) {
  int rowPosition = profile.top;
  qint32 pageNumber = 1;
  QString previousLabel;
  PrintList lineRows;
  while (!wrapper.AtEnd()) {
    lineRows.clear();
    wrapper.WrapNextLine(lineRows);
    for (qsizetype rowIndex = 0; rowIndex < lineRows.size(); ++rowIndex) {
      const PrintRow& row = lineRows.at(rowIndex);
      QString numberText;
      if (row.label != previousLabel) {
        numberText = row.label;
        previousLabel = row.label;
      }
      rowPosition += profile.lineStep;
      PlaceText(surface, job.scale, profile.numberColumn, rowPosition, numberText, Align::Right);
      PlaceText(surface, job.scale, profile.textColumn, rowPosition, row.text, Align::Left);

      // Every line still to come gives at least one row.
      const bool rowsRemain = rowIndex + 1 < lineRows.size() || !wrapper.AtEnd();
      if (rowPosition > profile.bottomLimit && rowsRemain) {
        const bool fullHeader = headerPlacement == HeaderPlacement::EveryPage;
        rowPosition = fullHeader ? profile.top : profile.top - kBannerOnlyLift;
        if (progress) progress({pageNumber, wrapper.NextLine() - 1, wrapper.LastLine()});
        ++pageNumber;
        surface.NextPage();
        DrawFurniture(surface, job, pageNumber, fullHeader);
        UseBodyText(surface, job.fonts);
      }
    }
  }
}

void RunJob(DrawingSurface& surface, const PrintRequest& request) {
  if (!surface.ShowPrintDialog()) return;

  JobContext job;
  job.scale = ComputeLayoutScale(surface.PrintableWidth(), surface.PrintableHeight());
  // A grid factor of 0 would stack every text on the corner of the page: no job is the honest result.
  if (!IsUsableScale(job.scale)) {
    qCInfo(lcPrint, "printable area %d x %d is below the 204 x 260 layout grid: nothing printed",
           job.scale.printableWidth, job.scale.printableHeight);
    return;
  }
  const SizeProfile profile = SelectProfile(request.fontSize);
  const JobFontSizes fontSizes = ComputeFontSizes(profile, job.scale);

  if (surface.OpenJob(QString::fromLatin1(kJobName)) <= 0) {
    qCInfo(lcPrint, "the print job could not be opened: nothing printed");
    return;
  }

  job.fonts = MakeJobFonts(fontSizes, request.displayDpi);
  job.logo = PrepareLogo(job.scale.printableWidth);
  job.ideVersion = request.source.ideVersion;
  job.sourcePath = request.sourcePath;
  job.clock = request.clock;

  if (surface.BeginDrawing()) {
    DrawFurniture(surface, job, 1, true);
    UseBodyText(surface, job.fonts);

    const LineRange range = DetermineLineRange(request.selection, static_cast<int>(request.source.lines.size()));
    const int wrapLimit =
        EffectiveWrapLimit(ScaledWrapLimit(profile, job.scale), ToDeviceWidth(job.scale, profile.textColumn),
                           job.scale.printableWidth, surface.WidestAdvance());
    RangeWrapper wrapper(surface, request.source.lines, range, wrapLimit);
    EmitRows(surface, job, profile, request.headerPlacement, wrapper, request.progress);
    surface.EndDrawing();
  }
  // The job's fonts and the scaled logo go with `job`, after the job is closed.
  surface.CloseJob();
}

}  // namespace

void RunPrintDriver(DrawingSurface& surface, const PrintRequest& request) { RunJob(surface, request); }

}  // namespace folivane
