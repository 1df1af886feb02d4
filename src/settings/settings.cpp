#include "settings/settings.h"

#include "settings/ini.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace folivane {

QString SettingsDirectory() {
  QString directory = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (!directory.isEmpty() && !directory.endsWith(QLatin1Char('/'))) directory += QLatin1Char('/');
  return directory;
}

QString SettingsFilePath(const QString& settingsDirectory) {
  return settingsDirectory + QStringLiteral("Folivane.ini");
}

Settings LoadSettings(const QString& path) {
  Settings settings;
  IniEngine engine;
  engine.OpenIni(path);
  engine.SelectGroup(QStringLiteral("Settings"));
  settings.FontSize = engine.ReadInteger(QStringLiteral("FontSize"), 1);
  settings.PageHeader = engine.ReadInteger(QStringLiteral("PageHeader"), 1);
  engine.CloseIni();
  return settings;
}

bool SaveSettings(const QString& path, const Settings& settings) {
  if (path.isEmpty()) return false;
  QDir().mkpath(QFileInfo(path).absolutePath());
  IniEngine engine;
  if (!engine.CreateIni(path)) return false;
  engine.SelectGroup(QStringLiteral("Settings"));
  engine.WriteInteger(QStringLiteral("FontSize"), settings.FontSize);
  engine.WriteInteger(QStringLiteral("PageHeader"), settings.PageHeader);
  return engine.CloseIni();
}

}  // namespace folivane
