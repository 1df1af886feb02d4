// Glyph coverage through fontconfig, the font service that Qt's own fallback fonts come from here.
#include "surface/glyph_coverage.h"

#include <QChar>
#include <fontconfig/fontconfig.h>
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
    case QChar::Separator_Paragraph:
      return true;
    default:
      return false;
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
  std::vector<bool> seen(0x110000, false);
  for (const QString& line : lines) {
    for (qsizetype i = 0; i < line.size(); ++i) {
      const QChar unit = line[i];
      if (unit.isHighSurrogate() && i + 1 < line.size() && line[i + 1].isLowSurrogate()) {
        seen[QChar::surrogateToUcs4(unit, line[++i])] = true;
      } else {
        seen[unit.unicode()] = true;
      }
    }
  }
  QList<char32_t> missing;
  FcCharSet* covered = CoveredCharacters(families);
  for (char32_t character = 0; character < seen.size(); ++character) {
    if (seen[character] && !NeedsNoGlyph(character) && !FcCharSetHasChar(covered, character))
      missing.append(character);
  }
  FcCharSetDestroy(covered);
  return missing;
}

}  // namespace folivane
