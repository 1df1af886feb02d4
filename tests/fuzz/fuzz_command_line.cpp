// Fuzz target for splitting a whole command line: any UTF-16 text, lone surrogates included.
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/command_line_windows.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Bytes below 0x80 stand for themselves so that blanks and quotes are common; a byte pair
  // marked by a high first byte gives any UTF-16 unit.
  QString commandLine;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] < 0x80 || i + 1 == size) {
      commandLine.append(QChar(char16_t(data[i])));
    } else {
      commandLine.append(QChar(char16_t((data[i] & 0x7F) << 9 | data[i + 1] << 1 | (data[i] & 1))));
      ++i;
    }
  }

  const QStringList parameters = folivane::SplitCommandLine(commandLine);
  qsizetype units = 0;
  for (const QString& parameter : parameters) {
    if (parameter.contains(u'"')) std::abort();
    units += parameter.size();
  }
  if (units > commandLine.size()) std::abort();
  return 0;
}
