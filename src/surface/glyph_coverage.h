// Glyph coverage: which characters of a text no installed font can draw.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace folivane {

// The distinct characters of `lines` (blanks, controls and invisible format characters aside)
// that no installed font has a glyph for, as far as the font service's fallbacks for `families`
// reach; in code point order. Such characters print as empty boxes. A text of ASCII alone is
// taken as covered without asking the font service.
QList<char32_t> CharactersWithoutGlyph(const QStringList& lines, const QStringList& families);

}  // namespace folivane
