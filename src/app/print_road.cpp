#include "app/print_road.h"

#include "surface/glyph_coverage.h"

namespace folivane {

QString DescribeCharactersWithoutGlyph(const PrintRequest& request) {
  constexpr qsizetype kShown = 12;
  const QStringList printed =
      request.source.lines + QStringList{FileNamePart(request.sourcePath), request.source.ideVersion};
  const QList<char32_t> missing =
      CharactersWithoutGlyph(printed, {QStringLiteral("Courier New"), QStringLiteral("Arial")});
  if (missing.isEmpty()) return QString();
  QStringList shown;
  for (qsizetype k = 0; k < std::min(missing.size(), kShown); ++k) {
    shown.append(QStringLiteral("U+%1 %2")
                     .arg(QString::number(quint32(missing[k]), 16).toUpper().rightJustified(4, u'0'))
                     .arg(QString::fromUcs4(&missing[k], 1)));
  }
  if (missing.size() > kShown) shown.append(QStringLiteral("..."));
  return QStringLiteral("no installed font has a glyph for %1 character(s) of the source, which print as empty "
                        "boxes: %2 (for Chinese, Japanese and Korean install fonts-noto-cjk or fonts-wqy-microhei)")
      .arg(missing.size())
      .arg(shown.join(QStringLiteral(", ")));
}

void PrintSource(RunState& state, DrawingSurface& surface, LocalClock clock) {
  state.request.fontSize = state.settings.fontSize;
  state.request.headerPlacement = state.settings.headerPlacement;
  state.request.clock = std::move(clock);
  RunPrintDriver(surface, state.request);
}

}  // namespace folivane
