// The platform layer's command line on Windows, which hands a program one whole command line.
#pragma once

#include <QString>
#include <QStringList>

namespace folivane {

// The parameters of a whole command line (program name first, as Windows hands it over), the
// program name left out. Only the blank separates; double quotes group and are removed; nothing escapes.
QStringList SplitCommandLine(const QString& commandLine);

}  // namespace folivane
