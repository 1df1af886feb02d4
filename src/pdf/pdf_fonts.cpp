#include "pdf/pdf_fonts.h"

#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>

namespace folivane {

namespace {

// The advance that most of a face's glyphs are whole multiples of: the greatest common divisor
// of the whole-pixel advances of the space, "0" and "a" (every glyph's in a fixed-pitch face,
// the digits' and many letters' in a proportional one), or an ideograph's where that is no
// multiple of it (a CJK face, whose Latin letters are narrower). 0 when there is none.
int CommonAdvance(const QRawFont& font) {
  auto advanceOf = [&](QChar character) {
    quint32 glyph = 0;
    int count = 1;
    if (!font.glyphIndexesForChars(&character, 1, &glyph, &count) || count != 1 || glyph == 0) return 0;
    QPointF advance;
    font.advancesForGlyphIndexes(&glyph, &advance, 1);
    const int whole = static_cast<int>(std::lround(advance.x()));
    return whole > 0 && std::abs(advance.x() - whole) < 1e-6 ? whole : 0;
  };
  int unit = 0;
  for (const QChar character : {QChar(u' '), QChar(u'0'), QChar(u'a')}) unit = std::gcd(unit, advanceOf(character));
  for (const QChar ideograph : {QChar(u'\u4E00'), QChar(u'\uAC00')}) {
    const int advance = advanceOf(ideograph);
    if (advance > 0) return unit > 0 && advance % unit == 0 ? unit : advance;
  }
  return unit;
}

// The horizontal scale in percent that makes `advance` a whole number of thousandths of the em,
// written with eight decimals (a row of 5,000 px is then off by far less than a thousandth of a
// pixel) and read back as a viewer reads it; 100 where that would take more than two thousandths.
double ExactScale(double advance, double pixelSize) {
  const double width = std::round(advance * 1000.0 / pixelSize);
  if (advance <= 0 || width <= 0) return 100.0;
  char text[32];
  std::snprintf(text, sizeof text, "%.8f", advance * 1000.0 / (width * pixelSize) * 100.0);
  const double scale = std::strtod(text, nullptr);
  return std::abs(scale - 100.0) <= 0.2 ? scale : 100.0;
}

}  // namespace

int PdfFonts::ResourceFor(const QRawFont& font) {
  if (lastKnown_ >= 0 && known_[lastKnown_].first == font) return known_[lastKnown_].second;
  for (std::size_t i = 0; i < known_.size(); ++i) {
    if (known_[i].first == font) {
      lastKnown_ = static_cast<int>(i);
      return known_[i].second;
    }
  }
  int resource = kNotEmbeddable;
  // A TrueType program can be embedded as it is; other outlines (CFF, Type 1) are drawn as paths.
  if (font.isValid() && font.pixelSize() > 0 && !font.fontTable("glyf").isEmpty() &&
      !font.fontTable("loca").isEmpty() && font.fontTable("head").size() >= 54) {
    Resource added;
    added.font = font;
    added.program = ProgramFor(font);
    added.pixelSize = font.pixelSize();
    added.name = "/F" + std::to_string(resources_.size());
    added.scale = ExactScale(CommonAdvance(font), font.pixelSize());
    added.fonts.emplace_back();
    added.fonts.back().name = added.name;
    resources_.push_back(std::move(added));
    resource = static_cast<int>(resources_.size()) - 1;
  }
  known_.emplace_back(font, resource);
  lastKnown_ = static_cast<int>(known_.size()) - 1;
  return resource;
}

int PdfFonts::ProgramFor(const QRawFont& font) {
  const QByteArray head = font.fontTable("head");
  std::string key = font.familyName().toStdString() + '\n' + font.styleName().toStdString() + '\n';
  key.append(head.constData(), static_cast<std::size_t>(head.size()));
  for (std::size_t i = 0; i < programs_.size(); ++i)
    if (programs_[i].key == key) return static_cast<int>(i);
  Program program;
  program.font = font;
  program.key = std::move(key);
  programs_.push_back(std::move(program));
  return static_cast<int>(programs_.size()) - 1;
}

double PdfFonts::FirstAdvance(Resource& resource, quint32 glyph, double suggested) {
  if (glyph > 0xFFFF) return 0;  // outside a two-byte code; never drawn as such
  if (glyph >= resource.advances.size()) {
    resource.advances.resize(glyph + 1, -1.0);
    resource.widths.resize(glyph + 1, 0);
  }
  if (suggested < 0) {
    QPointF advance;
    resource.font.advancesForGlyphIndexes(&glyph, &advance, 1);
    suggested = std::max(0.0, advance.x());
  }
  // The width in whole thousandths, and the advance a viewer makes of it.
  const double size = resource.pixelSize * resource.scale / 100.0;
  const int width = static_cast<int>(std::round(suggested * 1000.0 / size));
  resource.widths[glyph] = width;
  resource.advances[glyph] = width * 0.001 * size;
  std::vector<bool>& used = programs_[resource.program].used;
  if (glyph >= used.size()) used.resize(glyph + 1, false);
  used[glyph] = true;
  return resource.advances[glyph];
}

PdfFonts::Code PdfFonts::FirstCode(Resource& resource, quint32 glyph) {
  if (glyph > 0xFFFF) return Code{};  // never drawn
  if (glyph >= resource.codes.size()) resource.codes.resize(glyph + 1, kNoCode);
  const std::vector<char32_t>& characters = programs_[resource.program].characters;
  const char32_t character = glyph < characters.size() ? characters[glyph] : 0;
  CodedFont* font = &resource.fonts.back();
  int code = -1;
  if (character >= 0x20 && character < 0x7F) {
    if (!font->oneByteTaken[character]) code = static_cast<int>(character);
  } else {
    // Bytes that no printable ASCII character claims: the controls and DEL.
    for (int candidate = 0; candidate < 0x80 && code < 0; ++candidate) {
      if ((candidate < 0x20 || candidate == 0x7F) && !font->oneByteTaken[candidate]) code = candidate;
    }
  }
  if (code < 0) {
    if (font->nextTwoByte > 0xFFFF) {
      // A resource drawing more distinct glyphs than one font's codes hold gets another font.
      CodedFont added;
      added.name = resource.name + '.' + std::to_string(resource.fonts.size());
      resource.fonts.push_back(std::move(added));
      return FirstCode(resource, glyph);
    }
    code = static_cast<int>(font->nextTwoByte++);
  } else {
    font->oneByteTaken[code] = true;
  }
  font->glyphs.emplace_back(static_cast<std::uint16_t>(code), glyph);
  const int fontIndex = static_cast<int>(resource.fonts.size()) - 1;
  resource.codes[glyph] = static_cast<std::uint32_t>(fontIndex) << 16 | static_cast<std::uint32_t>(code);
  return Code{fontIndex, static_cast<std::uint16_t>(code), code >= kFirstTwoByteCode};
}

void PdfFonts::NoteFirstCharacter(Program& program, quint32 glyph, char32_t character) {
  if (glyph > 0xFFFF || character == 0 || program.clusters.count(glyph) != 0) return;
  if (glyph >= program.characters.size()) program.characters.resize(glyph + 1, 0);
  program.characters[glyph] = character;
  MarkLooked(program, glyph);
}

void PdfFonts::MarkLooked(Program& program, quint32 glyph) {
  if (glyph > 0xFFFF) return;
  if (glyph >= program.looked.size()) program.looked.resize(glyph + 1, false);
  program.looked[glyph] = true;
}

void PdfFonts::NoteCluster(int resource, quint32 glyph, QStringView text) {
  Program& program = programs_[resources_[resource].program];
  MarkLooked(program, glyph);
  if (text.isEmpty()) return;
  const char32_t first = text.size() == 2 && text[0].isHighSurrogate() && text[1].isLowSurrogate()
                             ? QChar::surrogateToUcs4(text[0], text[1])
                             : text[0].unicode();
  if (text.size() == 1 || first >= 0x10000) {
    NoteCharacter(resource, glyph, first);
    return;
  }
  if (glyph > 0xFFFF || (glyph < program.characters.size() && program.characters[glyph] != 0)) return;
  program.clusters.try_emplace(glyph, reinterpret_cast<const char16_t*>(text.utf16()),
                               static_cast<std::size_t>(text.size()));
}

}  // namespace folivane
