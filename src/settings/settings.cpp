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
  if (engine.ReadInteger(QStringLiteral("FontSize"), 1) == 0) settings.fontSize = FontSize::Large;
  if (engine.ReadInteger(QStringLiteral("PageHeader"), 1) == 0) settings.headerPlacement = HeaderPlacement::FirstPage;
  engine.CloseIni();
  return settings;
}

bool SaveSettings(const QString& path, const Settings& settings) {
  if (path.isEmpty()) return false;
  QDir().mkpath(QFileInfo(path).absolutePath());
  IniEngine engine;
  if (!engine.CreateIni(path)) return false;
  engine.SelectGroup(QStringLiteral("Settings"));
  engine.WriteInteger(QStringLiteral("FontSize"), settings.fontSize == FontSize::Large ? 0 : 1);
  engine.WriteInteger(QStringLiteral("PageHeader"), settings.headerPlacement == HeaderPlacement::FirstPage ? 0 : 1);
  return engine.CloseIni();
}

}  // namespace folivane
