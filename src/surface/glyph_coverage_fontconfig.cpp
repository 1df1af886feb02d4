// Glyph coverage through fontconfig, the font service that Qt's own fallback fonts come from here.
#include "surface/glyph_coverage.h"

#include <QChar>
#include <fontconfig/fontconfig.h>
#include <bit>
#include <vector>

namespace folivane {

namespace {

bool NeedsNoGlyph(char32_t character) {
  switch (QChar::category(character)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph: return true;
    default: return false;
  }
}

// Every character that some font in the fallback order of one of `families` covers.
FcCharSet* CoveredCharacters(const QStringList& families) {
  FcCharSet* covered = FcCharSetCreate();
  for (const QString& family : families) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family.toUtf8().constData()));
    if (!pattern) continue;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcCharSet* sorted = nullptr;
    if (FcFontSet* fonts = FcFontSort(nullptr, pattern, FcFalse, &sorted, &result)) FcFontSetDestroy(fonts);
    if (sorted) {
      FcCharSetMerge(covered, sorted, nullptr);
      FcCharSetDestroy(sorted);
    }
    FcPatternDestroy(pattern);
  }
  return covered;
}

}  // namespace

QList<char32_t> CharactersWithoutGlyph(const QStringList& lines, const QStringList& families) {
  // Most sources are plain ASCII, whose printable characters every text font has and whose
  // controls need no glyph: for them fontconfig is not asked at all (the fallback fonts' coverage
  // costs a tenth of a one-line job). Otherwise the characters that occur are marked in a bit set
  // read a word at a time.
  std::vector<quint64> seen(0x110000 / 64, 0);
  char16_t allUnits = 0;
  for (const QString& line : lines) {
    const char16_t* units = reinterpret_cast<const char16_t*>(line.constData());
    for (qsizetype i = 0; i < line.size(); ++i) {
      char32_t character = units[i];
      allUnits |= units[i];
      if (QChar::isHighSurrogate(units[i]) && i + 1 < line.size() && QChar::isLowSurrogate(units[i + 1])) {
        character = QChar::surrogateToUcs4(units[i], units[i + 1]);
        ++i;
      }
      seen[character / 64] |= quint64{1} << (character % 64);
    }
  }
  if (allUnits < 0x80) return {};

  QList<char32_t> missing;
  FcCharSet* covered = CoveredCharacters(families);
  for (std::size_t word = 0; word < seen.size(); ++word) {
    for (quint64 bits = seen[word]; bits != 0; bits &= bits - 1) {
      const char32_t character = char32_t(word * 64 + std::countr_zero(bits));
      if (!NeedsNoGlyph(character) && !FcCharSetHasChar(covered, character)) missing.append(character);
    }
  }
  FcCharSetDestroy(covered);
  return missing;
}

}  // namespace folivane
