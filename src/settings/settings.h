// The two user choices and the settings file "Folivane.ini" that keeps them between runs.
#pragma once

#include <QString>
#include <QtGlobal>

namespace folivane {

// Each value is only tested for zero or non-zero.
struct Settings {
  qint32 FontSize = 1;    // non-zero: Regular body text; 0: Large
  qint32 PageHeader = 1;  // non-zero: full header on every page; 0: on the first page only
};

// The per-user configuration folder (normally ~/.config) with a trailing "/";
// empty when it cannot be determined.
QString SettingsDirectory();

// The settings directory followed by "Folivane.ini"; a bare file name for an empty directory.
QString SettingsFilePath(const QString& settingsDirectory);

// Values that cannot be read are 1.
Settings LoadSettings(const QString& path);

// Writes the file anew, creating its folder when missing. The previous file stays intact
// unless the new one was written completely. True when the file was written.
bool SaveSettings(const QString& path, const Settings& settings);

}  // namespace folivane
