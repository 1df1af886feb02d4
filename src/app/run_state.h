// The state of one run, owned by the entry from start-up to exit and handed to each mode.
#pragma once

#include <QByteArray>
#include <QString>

#include "layout/print_driver.h"
#include "settings/settings.h"

namespace folivane {

struct RunState {
  QString settingsDirectory;
  Settings settings;
  QByteArray tempSourceFile;  // the copy's path in the platform's own bytes, for file calls
  QByteArray sourceFile;      // the source's path in the platform's own bytes
  // What is printed: the source read from the copy, its path as text, the selection, the
  // display's resolution; the choices and the clock are added when printing starts.
  PrintRequest request;
};

}  // namespace folivane
