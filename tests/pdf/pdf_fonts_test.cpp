#include "pdf/pdf_fonts.h"

#include <QRawFont>
#include <gtest/gtest.h>

#include <set>

#include "surface/fonts.h"

namespace folivane {
namespace {

// A face drawn with more distinct glyphs than one font's 32,896 codes holds goes on in a second
// font; no two glyphs ever share a code, and printable ASCII keeps its own byte.
TEST(PdfFontsTest, CodesStayDistinctPastOneFontsCapacity) {
  PdfFonts fonts;
  const int resource = fonts.ResourceFor(QRawFont::fromFont(MakeFont(u"Courier New"_qs, 46, 96).qfont));
  ASSERT_NE(resource, PdfFonts::kNotEmbeddable);
  fonts.NoteCharacter(resource, 36, U'A');
  fonts.NoteCharacter(resource, 37, U'\u00e9');
  EXPECT_EQ(fonts.CodeFor(resource, 36).value, 0x41);
  EXPECT_FALSE(fonts.CodeFor(resource, 36).twoBytes);
  std::set<std::pair<int, int>> given;
  for (quint32 glyph = 0; glyph < 40000; ++glyph) {
    const PdfFonts::Code code = fonts.CodeFor(resource, glyph);
    EXPECT_EQ(code.twoBytes, code.value >= 0x8000);
    ASSERT_TRUE(given.emplace(code.font, code.value).second) << glyph;
  }
  EXPECT_EQ(fonts.CodeFor(resource, 36).value, 0x41);
  EXPECT_EQ(fonts.Name(resource, 1), fonts.Name(resource, 0) + ".1");
}

}  // namespace
}  // namespace folivane
