// The two user choices and the settings file "Folivane.ini" that keeps them between runs.
#pragma once

#include <QString>
#include <QtGlobal>

#include "settings/print_choices.h"

namespace folivane {

// The file keeps each choice as a number: "FontSize" 0 is Large and any other value Regular,
// "PageHeader" 0 is the first page only and any other value every page.
struct Settings {
  FontSize fontSize = FontSize::Regular;
  HeaderPlacement headerPlacement = HeaderPlacement::EveryPage;
};

// The per-user configuration folder (normally ~/.config) with a trailing "/";
// empty when it cannot be determined.
QString SettingsDirectory();

// The settings directory followed by "Folivane.ini"; a bare file name for an empty directory.
QString SettingsFilePath(const QString& settingsDirectory);

// Values that cannot be read are Regular and every page.
Settings LoadSettings(const QString& path);

// Writes the file anew, creating its folder when missing. The previous file stays intact
// unless the new one was written completely. True when the file was written.
bool SaveSettings(const QString& path, const Settings& settings);

}  // namespace folivane
