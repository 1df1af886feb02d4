#include "app/command_line_windows.h"

namespace folivane {

namespace {
constexpr QChar kBlank = u' ';
constexpr QChar kQuote = u'"';
}  // namespace

QStringList SplitCommandLine(const QString& commandLine) {
  QStringList tokens;
  const qsizetype end = commandLine.size();
  qsizetype i = 0;
  for (;;) {
    while (i < end && commandLine[i] == kBlank) ++i;
    if (i == end) break;

    if (commandLine[i] == kQuote) {
      // A quoted token ends at the next quote; scanning goes on right after it, so a character
      // other than a blank there starts the next token at once.
      const qsizetype close = commandLine.indexOf(kQuote, i + 1);
      const qsizetype stop = close < 0 ? end : close;
      tokens.append(commandLine.mid(i + 1, stop - i - 1));
      i = close < 0 ? end : close + 1;
      continue;
    }

    QString token;
    bool quoted = false;
    for (; i < end; ++i) {
      const QChar c = commandLine[i];
      if (c == kQuote) {
        quoted = !quoted;
      } else if (c == kBlank && !quoted) {
        ++i;
        break;
      } else {
        token.append(c);
      }
    }
    tokens.append(token);
  }
  if (!tokens.isEmpty()) tokens.removeFirst();
  return tokens;
}

}  // namespace folivane
