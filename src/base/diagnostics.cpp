#include "base/diagnostics.h"

#include <cstdio>
#include <cstring>

namespace folivane {

// QtFatalMsg as the threshold leaves every message type off until a logging rule turns it on.
Q_LOGGING_CATEGORY(lcPrint, "folivane.print", QtFatalMsg)

bool IsOwnCategory(const char* categoryName) {
  static constexpr char kPrefix[] = "folivane.";
  return categoryName != nullptr && std::strncmp(categoryName, kPrefix, sizeof kPrefix - 1) == 0;
}

void WriteOwnMessagesOnly(QtMsgType, const QMessageLogContext& context, const QString& message) {
  // A category reaches the handler only when it is enabled for the message's type.
  if (!IsOwnCategory(context.category)) return;
  std::fprintf(stderr, "%s: %s\n", context.category, message.toLocal8Bit().constData());
  std::fflush(stderr);
}

}  // namespace folivane
