#include "settings/settings.h"

#include "settings/ini.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>

namespace folivane {

// Off until a logging rule turns it on (QT_LOGGING_RULES="folivane.settings=true"): the tool is silent.
Q_LOGGING_CATEGORY(lcSettings, "folivane.settings", QtFatalMsg)

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
  if (!engine.OpenIni(path)) {
    qCInfo(lcSettings, "settings file %s not read (missing, or not a regular file): the defaults stand",
           qUtf8Printable(path));
  } else if (QFileInfo(path).size() > kMaxIniBytes) {
    qCInfo(lcSettings, "settings file %s is larger than %lld bytes: only its start was read", qUtf8Printable(path),
           static_cast<long long>(kMaxIniBytes));
  }
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
  if (!engine.CreateIni(path)) {
    qCInfo(lcSettings, "settings not saved: %s cannot be created", qUtf8Printable(path));
    return false;
  }
  engine.SelectGroup(QStringLiteral("Settings"));
  engine.WriteInteger(QStringLiteral("FontSize"), settings.fontSize == FontSize::Large ? 0 : 1);
  engine.WriteInteger(QStringLiteral("PageHeader"), settings.headerPlacement == HeaderPlacement::FirstPage ? 0 : 1);
  const bool saved = engine.CloseIni();
  if (!saved) {
    qCInfo(lcSettings, "settings not saved: %s could not be written whole, or is no regular file; it stays as it was",
           qUtf8Printable(path));
  }
  return saved;
}

}  // namespace folivane
