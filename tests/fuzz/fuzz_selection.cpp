// Fuzz target for the selection reader: any selection text against any number of source lines.
#include <QString>
#include <QStringList>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "layout/print_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  // Mostly small counts, where the range limits bind; now and then any count up to INT_MAX.
  const std::uint32_t raw = data[0] | data[1] << 8 | data[2] << 16 | std::uint32_t(data[3]) << 24;
  const int lineCount = (raw & 0x80000000u) ? static_cast<int>(raw & 0x7FFFFFFFu) : static_cast<int>(raw % 200);
  const QString selection = QString::fromUtf8(reinterpret_cast<const char*>(data + 4), static_cast<qsizetype>(size - 4));

  const folivane::LineRange range = folivane::DetermineLineRange(selection, lineCount);
  if (lineCount == 0) {
    if (range.startLine != 1 || range.endLine != 0) std::abort();
  } else if (range.startLine < 1 || range.startLine > range.endLine || range.endLine > lineCount) {
    std::abort();
  }

  for (const QString& field : selection.split(u'x')) {
    const int value = folivane::ReadSelectionNumber(field);
    // Only a field that starts (after blanks) with a sign or a digit marker can give non-zero.
    if (value != 0 && field.trimmed().isEmpty()) std::abort();
  }
  return 0;
}
