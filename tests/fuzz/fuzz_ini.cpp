// Fuzz target for the INI engine: any bytes as a settings file, read, written back and read again.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

#include "settings/ini.h"
#include "settings/settings.h"

namespace {

// One file per fuzzing process, in memory where there is a memory file system: every write-back
// syncs the file to disk.
QString FuzzFilePath() {
  static const QString path =
      QDir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath())
          .filePath(QStringLiteral("folivane-fuzz-ini-%1.ini").arg(::getpid()));
  return path;
}

bool WriteFile(const QString& path, QByteArrayView bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return file.write(bytes.data(), bytes.size()) == bytes.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte picks the group, the format and the value written; the rest is the file.
  const std::uint8_t choice = data[0];
  const QByteArrayView text(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
  const QString path = FuzzFilePath();
  if (!WriteFile(path, text)) return 0;

  const QString groups[] = {QStringLiteral("Settings"), QString(), QStringLiteral("sETTINGS"),
                            QStringLiteral("Gr\u00fcn")};
  const QString group = groups[choice & 3];
  const qint32 written = (choice & 0x10) ? -2147483647 - 1 : static_cast<qint32>(choice) - 100;

  folivane::IniEngine engine;
  folivane::IniFormat format;
  format.bareSeparator = (choice & 4) != 0;
  format.emptyLineBeforeGroups = (choice & 8) != 0;
  engine.SetFormat(format);
  if (!engine.OpenIni(path)) std::abort();
  engine.SelectGroup(group);
  const qint32 pageHeaderBefore = engine.ReadInteger(QStringLiteral("PageHeader"), 12345);
  engine.ReadInteger(QStringLiteral("FontSize"), 1);
  engine.WriteInteger(QStringLiteral("FontSize"), written);
  if (!engine.CloseIni()) std::abort();

  // Written back, the document gives the new value and keeps the other. An empty file is the
  // exception for names beyond ASCII: it is written back without byte order mark, so the UTF-8
  // name reads as ISO 8859-1 the next time.
  const bool asciiGroup = group.toLatin1() == group.toUtf8();
  if (!engine.OpenIni(path)) std::abort();
  engine.SelectGroup(group);
  if (!text.isEmpty() || asciiGroup) {
    if (engine.ReadInteger(QStringLiteral("FontSize"), 1) != written) std::abort();
    if (engine.ReadInteger(QStringLiteral("PageHeader"), 12345) != pageHeaderBefore) std::abort();
  }
  engine.CloseIni();

  WriteFile(path, text);
  folivane::LoadSettings(path);
  QFile::remove(path);
  return 0;
}
