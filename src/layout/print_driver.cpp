#include "layout/print_driver.h"

#include "layout/furniture.h"
#include "layout/geometry.h"
#include "layout/place_text.h"
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

void ReleaseJobFonts(JobFonts& fonts) {
  ReleaseFont(fonts.body);
  ReleaseFont(fonts.banner);
  ReleaseFont(fonts.footer);
  ReleaseFont(fonts.version);
  ReleaseFont(fonts.fileName);
}

void UseBodyText(DrawingSurface& surface, const JobFonts& fonts) {
  surface.UseFont(fonts.body);
  surface.SetForeground(kBlack);
  surface.SetBackground(kWhite);
}

void EmitRows(DrawingSurface& surface, const JobContext& job, const SizeProfile& profile, qint32 pageHeader,
              const PrintList& printList) {
  const qsizetype rowCount = printList.size();
  int rowPosition = profile.top;
  qint32 pageNumber = 1;
  QString previousLabel;
  for (qsizetype rowIndex = 0; rowIndex < rowCount; ++rowIndex) {
    const PrintRow& row = printList.at(rowIndex);
    QString numberText;
    if (row.label != previousLabel) {
      numberText = row.label;
      previousLabel = row.label;
    }
    rowPosition += profile.lineStep;
    PlaceText(surface, job.scale, profile.numberColumn, rowPosition, numberText, kAlignRight);
    PlaceText(surface, job.scale, profile.textColumn, rowPosition, row.text, 0);

    const bool rowsRemain = rowIndex + 1 < rowCount;
    if (rowPosition > profile.bottomLimit && rowsRemain) {
      rowPosition = pageHeader != 0 ? profile.top : profile.top - kBannerOnlyLift;
      ++pageNumber;
      surface.NextPage();
      DrawFurniture(surface, job, pageNumber, pageHeader);
      UseBodyText(surface, job.fonts);
    }
  }
}

}  // namespace

void RunPrintDriver(DrawingSurface& surface, const PrintRequest& request, PrintList& printList) {
  if (!surface.ShowPrintDialog()) return;

  JobContext job;
  job.scale = ComputeLayoutScale(surface.PrintableWidth(), surface.PrintableHeight());
  // A grid factor of 0 would stack every text on the corner of the page: no job is the honest result.
  if (!IsUsableScale(job.scale)) return;
  const SizeProfile profile = SelectProfile(request.fontSize);
  const JobFontSizes fontSizes = ComputeFontSizes(profile, job.scale);

  if (surface.OpenJob(QString::fromLatin1(kJobName)) <= 0) return;

  job.fonts = MakeJobFonts(fontSizes, request.displayDpi);
  job.logo = PrepareLogo(job.scale.printableWidth);
  job.ideVersion = request.ideVersion;
  job.sourcePath = request.sourcePath;
  job.clock = request.clock;

  if (surface.BeginDrawing()) {
    DrawFurniture(surface, job, 1, 1);
    UseBodyText(surface, job.fonts);

    const LineRange range = DetermineLineRange(request.selection, static_cast<int>(request.sourceLines.size()));
    const int wrapLimit = EffectiveWrapLimit(profile.wrapLimit, ToDeviceWidth(job.scale, profile.textColumn),
                                             job.scale.printableWidth, surface.WidestAdvance());
    BuildPrintList(surface, request.sourceLines, range, wrapLimit, printList);

    EmitRows(surface, job, profile, request.pageHeader, printList);
    surface.EndDrawing();
  }
  surface.CloseJob();

  ReleaseJobFonts(job.fonts);
  ReleaseBitmap(job.logo);
}

}  // namespace folivane
