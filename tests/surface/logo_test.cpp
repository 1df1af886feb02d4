#include "surface/logo.h"

#include <QSet>
#include <QtEndian>
#include <gtest/gtest.h>

namespace folivane {
namespace {

quint32 U32(const QByteArray& bytes, int at) {
  return qFromLittleEndian<quint32>(bytes.constData() + at);
}
quint16 U16(const QByteArray& bytes, int at) {
  return qFromLittleEndian<quint16>(bytes.constData() + at);
}

TEST(LogoBitmap, IsAnUncompressedBottomUp24BitBitmapOf21030Bytes) {
  const QByteArray bmp = LogoBitmap();
  ASSERT_EQ(bmp.size(), 21030);
  EXPECT_EQ(bmp.left(2), QByteArray("BM"));
  const struct {
    int offset;
    int size;
    quint32 value;
  } fields[] = {
      {2, 4, 21030}, {6, 2, 0},    {8, 2, 0},     {10, 4, 54}, {14, 4, 40}, {18, 4, 101},
      {22, 4, 69},   {26, 2, 1},   {28, 2, 24},   {30, 4, 0},  {34, 4, 0},  {38, 4, 3780},
      {42, 4, 3780}, {46, 4, 0},   {50, 4, 0},
  };
  for (const auto& f : fields) {
    const quint32 actual = f.size == 2 ? U16(bmp, f.offset) : U32(bmp, f.offset);
    EXPECT_EQ(actual, f.value) << "field at offset " << f.offset;
  }
  EXPECT_EQ(54 + 69 * 304, 21030);
}

TEST(LogoSize, FollowsThePrintableWidth) {
  const struct {
    int printableWidth;
    QSize size;
  } cases[] = {
      {4760, {496, 347}}, {4800, {500, 350}}, {2400, {250, 175}}, {2550, {266, 186}},
      {5100, {531, 372}}, {0, {0, 0}},        {-10, {0, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(LogoSize(c.printableWidth), c.size) << c.printableWidth;
}

TEST(LogoSize, ExactHalvesGoToTheEvenNeighbour) {
  // In 32-bit floats, width 25346 gives a height of exactly 1848.5 and width 31314 a width of
  // exactly 3262.5; rounding half away from zero would give 1849 and 3263.
  EXPECT_EQ(LogoSize(25346).height(), 1848);
  EXPECT_EQ(LogoSize(31314).width(), 3262);
  // The 600 dpi logo is about twice as wide as the 300 dpi one on the same paper.
  const QSize at300 = LogoSize(2380);
  const QSize at600 = LogoSize(4760);
  EXPECT_NEAR(at600.width(), 2 * at300.width(), 1);
  EXPECT_NEAR(at600.height(), 2 * at300.height(), 1);
}

TEST(PrepareLogo, ScalesTheStoredLogoSmoothly) {
  const QImage logo = PrepareLogo(4760);
  ASSERT_FALSE(logo.isNull());
  EXPECT_EQ(logo.size(), QSize(496, 347));
  EXPECT_EQ(logo.depth(), 24);
  // Smooth scaling blends neighbouring colours: an enlarged picture holds colours the stored one
  // lacks, where nearest-neighbour sampling would only repeat stored pixels.
  QImage stored;
  ASSERT_TRUE(stored.loadFromData(LogoBitmap(), "BMP"));
  QSet<QRgb> storedColours;
  for (int y = 0; y < stored.height(); ++y)
    for (int x = 0; x < stored.width(); ++x) storedColours.insert(stored.pixel(x, y));
  int newColours = 0;
  for (int y = 0; y < logo.height(); ++y)
    for (int x = 0; x < logo.width(); ++x) newColours += !storedColours.contains(logo.pixel(x, y));
  EXPECT_GT(newColours, logo.width() * logo.height() / 20);
}

TEST(PrepareLogo, RejectsBitmapsWithoutTheFileHeader) {
  const QByteArray good = LogoBitmap();
  auto patched = [&](int offset, char value) {
    QByteArray bytes = good;
    bytes[offset] = value;
    return bytes;
  };
  const struct {
    const char* what;
    QByteArray bytes;
  } cases[] = {
      {"signature B", patched(0, 'X')},
      {"signature M", patched(1, 'N')},
      {"first reserved low", patched(6, 1)},
      {"first reserved high", patched(7, 1)},
      {"second reserved low", patched(8, 1)},
      {"second reserved high", patched(9, 1)},
      {"empty", QByteArray()},
      {"header only", good.left(14)},
      {"truncated info header", good.left(30)},
  };
  for (const auto& c : cases) EXPECT_TRUE(PrepareLogo(4760, c.bytes).isNull()) << c.what;
  EXPECT_FALSE(PrepareLogo(4760, good).isNull());
}

TEST(PrepareLogo, NoPrintableWidthGivesNoLogo) {
  EXPECT_TRUE(PrepareLogo(0).isNull());
  EXPECT_TRUE(PrepareLogo(-1).isNull());
}

}  // namespace
}  // namespace folivane
