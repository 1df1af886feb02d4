#include "layout/furniture.h"

#include "intake/source_copy.h"
#include "layout/place_text.h"

namespace folivane {
namespace {

constexpr int kLeftEdge = 12;
constexpr int kRightEdge = 192;
constexpr int kRuleWidth = 180;
constexpr int kFooterRuleY = 250;
constexpr int kFooterRuleDeviceHeight = 5;  // the same thin rule at any resolution
constexpr int kFooterTextY = 252;
constexpr int kBannerHeight = 4;
constexpr int kBannerTextX = 13;
constexpr int kLogoX = 165;
constexpr int kLogoY = 10;
constexpr int kVersionY = 12;
constexpr int kFileNameY = 18;

}  // namespace

void DrawFurniture(DrawingSurface& surface, const JobContext& job, qint32 pageNumber, bool fullHeader) {
  const LayoutScale& scale = job.scale;
  surface.SetForeground(kBlack);
  surface.SetBackground(kWhite);

  // Everything but the page number is the same on every page of the job.
  surface.BeginRepeatedPart();
  if (fullHeader) {
    const DevicePoint logo = ToDevice(scale, kLogoX, kLogoY);
    surface.PutImage(job.logo, logo.x, logo.y);
    surface.UseFont(job.fonts.version);
    PlaceText(surface, scale, kLeftEdge, kVersionY, job.ideVersion, Align::Left);
    surface.UseFont(job.fonts.fileName);
    PlaceText(surface, scale, kLeftEdge, kFileNameY, FileNamePart(job.sourcePath), Align::Left);
  }

  const DevicePoint rule = ToDevice(scale, kLeftEdge, kFooterRuleY);
  surface.FillBox(rule.x, rule.y, ToDeviceWidth(scale, kRuleWidth), kFooterRuleDeviceHeight, kBlack);
  surface.UseFont(job.fonts.footer);
  PlaceText(surface, scale, kLeftEdge, kFooterTextY, FooterStamp(job.clock), Align::Left);
  surface.EndRepeatedPart();
  PlaceText(surface, scale, kRightEdge, kFooterTextY, QStringLiteral("Page ") + QString::number(pageNumber),
            Align::Right);

  surface.BeginRepeatedPart();
  const int bannerY = fullHeader ? kFullHeaderBannerY : kBannerOnlyBannerY;
  const DevicePoint bar = ToDevice(scale, kLeftEdge, bannerY);
  surface.FillBox(bar.x, bar.y, ToDeviceWidth(scale, kRuleWidth), ToDeviceHeight(scale, kBannerHeight), kBlack);
  surface.UseFont(job.fonts.banner);
  surface.SetForeground(kWhite);
  surface.SetBackground(kBlack);
  PlaceText(surface, scale, kBannerTextX, bannerY, QStringLiteral("SOURCE CODE"), Align::Left);
  surface.EndRepeatedPart();
}

}  // namespace folivane
