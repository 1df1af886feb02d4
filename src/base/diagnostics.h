// Diagnostics: the tool's logging categories, silent until the user turns them on.
#pragma once

#include <QLoggingCategory>

namespace folivane {

// Every category of the tool is named "folivane.<area>" and is off by default, so a run stays
// silent; QT_LOGGING_RULES="folivane.*=true" (or "folivane.print=true") turns one on.
Q_DECLARE_LOGGING_CATEGORY(lcPrint)

// Whether a message comes from one of the tool's own categories rather than from Qt.
bool IsOwnCategory(const char* categoryName);

// A message handler that writes the tool's own messages to stderr, one line each with its
// category, and drops Qt's: those are no business of the user's.
void WriteOwnMessagesOnly(QtMsgType type, const QMessageLogContext& context, const QString& message);

}  // namespace folivane
