// The state of one run, owned by the entry from start-up to exit and handed to each road.
#pragma once

#include <QString>

#include "intake/source_copy.h"
#include "settings/settings.h"

namespace folivane {

struct RunState {
  int displayDpi = 96;
  QString settingsDirectory;
  Settings settings;
  QString tempSourcePath;
  QString sourcePath;
  QString selectionText;
  SourceText source;  // the source-line list and the IDE version text
};

}  // namespace folivane
