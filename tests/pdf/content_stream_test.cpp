#include "pdf/content_stream.h"

#include <gtest/gtest.h>

namespace folivane {
namespace {

TEST(ContentStreamTest, OperatorsShareTheirLinesAsTheCallerSays) {
  ContentStream page;
  page.Transform(0.12, 0, 0, -0.12, 0, 842, ContentStream::kSpace);
  page.Rectangle(0, 0, 4760, 6779, ContentStream::kSpace);
  page.Clip(ContentStream::kSpace);
  page.EndPath();
  page.SetFillColour(qRgb(255, 0, 0));
  page.BeginText();
  page.SetFont("/F1", 61);
  page.SetHorizontalScale(99.927080241);
  EXPECT_EQ(page.MoveText(12.345678, -3), std::make_pair(12.3457, -3.0));
  GlyphString text;
  text.AddCode("a(b)\\c", 6);
  text.AddMove(-12.5);
  text.AddCode("\r", 1);
  page.ShowText(text);
  page.EndText();
  EXPECT_TRUE(page.Sound());
  EXPECT_EQ(page.Bytes(),
            "0.12 0 0 -0.12 0 842 cm 0 0 4760 6779 re W n\n1 0 0 rg\nBT\n/F1 61 Tf\n99.92708024 Tz\n"
            "12.3457 -3 Td [(a\\(b\\)\\\\c)-12.5(\\r)] TJ\nET\n");
}

// Each slip is left out and leaves the stream unsound, so its document reports a failure.
TEST(ContentStreamTest, AnOperatorWhereItCannotStandMakesTheStreamUnsound) {
  const auto slips = {
      +[](ContentStream& s) { s.ShowText(GlyphString()); },  // outside a text object
      +[](ContentStream& s) {
        s.BeginText();
        s.SetFillColour(0);
        s.ShowText(GlyphString());  // before a font
        s.EndText();
      },
      +[](ContentStream& s) {
        s.BeginText();
        s.SetFont("/F1", 10);
        s.ShowText(GlyphString());  // before a fill colour
        s.EndText();
      },
      +[](ContentStream& s) { s.Fill(); },  // before a fill colour
      +[](ContentStream& s) {
        s.BeginText();
        s.Rectangle(0, 0, 1, 1);  // a path inside a text object
        s.EndText();
      },
      +[](ContentStream& s) { s.Restore(); },  // nothing saved
      +[](ContentStream& s) { s.Save(); },     // left saved
      +[](ContentStream& s) { s.BeginText(); },  // left open
      +[](ContentStream& s) { s.Draw("Im1"); },  // not a name
  };
  int slip = 0;
  for (const auto& write : slips) {
    ContentStream stream;
    write(stream);
    EXPECT_FALSE(stream.Sound()) << slip++;
  }
}

// What a form leaves is what its page knows after the form is drawn inline; the scale a form
// starts with is not known.
TEST(ContentStreamTest, AnAppendedFormLeavesItsOwnState) {
  ContentStream page;
  page.SetFillColour(qRgb(0, 0, 0));
  EXPECT_TRUE(page.ScaleIs(100));
  ContentStream form(ContentStream::Start::kForm);
  EXPECT_FALSE(form.ScaleIs(100));
  form.SetFillColour(qRgb(255, 255, 255));
  form.Save();
  form.SetFillColour(qRgb(0, 0, 0));
  form.Restore();
  EXPECT_TRUE(form.FillIs(qRgb(255, 255, 255)));
  page.Append(form);
  EXPECT_TRUE(page.FillIs(qRgb(255, 255, 255)));
  EXPECT_FALSE(page.ScaleIs(100));
  EXPECT_TRUE(page.Sound());
}

}  // namespace
}  // namespace folivane
