// The state of one run, owned by the entry from start-up to exit and handed to each road.
#pragma once

#include <QByteArray>
#include <QString>

#include "intake/source_copy.h"
#include "settings/settings.h"

namespace folivane {

struct RunState {
  int displayDpi = 96;
  QString settingsDirectory;
  Settings settings;
  QByteArray tempSourceFile;  // the copy's path in the platform's own bytes, for file calls
  QByteArray sourceFile;      // the source's path in the platform's own bytes
  QString sourcePath;         // the source's path as text, for the page header
  QString selectionText;
  SourceText source;  // the source-line list and the IDE version text
};

}  // namespace folivane
