#include "surface/print_surface.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

#include "surface/fonts.h"
#include "surface/logo.h"

namespace folivane {
namespace {

const QString kJobName = QStringLiteral("PureBasic - Folivane");

TEST(PrinterSurface, WithoutAConfirmedDialogThereIsNoPrinter) {
  PrintSurface surface;
  EXPECT_EQ(surface.PrintableWidth(), 0);
  EXPECT_EQ(surface.PrintableHeight(), 0);
  EXPECT_EQ(surface.OpenJob(kJobName), 0);
  EXPECT_FALSE(surface.BeginDrawing());
  surface.UseFont(MakeFont(QStringLiteral("Courier New"), 46, 96));
  EXPECT_EQ(surface.MeasureText(QStringLiteral("abc")), 0);
  EXPECT_EQ(surface.PutText(5, 5, QStringLiteral("abc")), 5);
  surface.FillBox(0, 0, 10, 10, kBlack);
  surface.PutImage(PrepareLogo(2400), 0, 0);
  surface.NextPage();
  surface.EndDrawing();
  surface.CloseJob();
}

TEST(PrinterSurface, DialogReturnsAtOnceWhereNobodyCanAnswer) {
  ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
  // A dialog shown here would wait for ever: the case would hang instead of passing.
  PrintSurface surface;
  EXPECT_FALSE(surface.ShowPrintDialog());
  EXPECT_FALSE(surface.ShowPrintDialog());
  EXPECT_EQ(surface.PrintableWidth(), 0);
}

}  // namespace
}  // namespace folivane
