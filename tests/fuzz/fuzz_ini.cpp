// Fuzz target for the INI engine: any bytes as a settings file, read, replaced and read again.
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
  // The first byte picks the group and the value written; the rest is the file.
  const std::uint8_t choice = data[0];
  const QByteArrayView text(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
  const QString path = FuzzFilePath();
  if (!WriteFile(path, text)) return 0;

  const QString groups[] = {QStringLiteral("Settings"), QString(), QStringLiteral("sETTINGS"),
                            QStringLiteral("Gr\u00fcn")};
  const QString group = groups[choice & 3];
  const qint32 written = (choice & 0x10) ? -2147483647 - 1 : static_cast<qint32>(choice) - 100;

  // A document read is never written back, whatever is asked of it.
  folivane::IniEngine engine;
  if (!engine.OpenIni(path)) std::abort();
  engine.SelectGroup(group);
  engine.ReadInteger(QStringLiteral("PageHeader"), 12345);
  engine.WriteInteger(QStringLiteral("FontSize"), written);
  if (!engine.CloseIni()) std::abort();
  {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.readAll() != text) std::abort();
  }
  folivane::LoadSettings(path);

  // A created document replaces the file and reads back as written.
  if (!engine.CreateIni(path)) std::abort();
  engine.SelectGroup(group);
  engine.WriteInteger(QStringLiteral("FontSize"), written);
  if (!engine.CloseIni()) std::abort();
  engine.OpenIni(path);
  engine.SelectGroup(group);
  if (engine.ReadInteger(QStringLiteral("FontSize"), 1) != written) std::abort();
  engine.CloseIni();
  QFile::remove(path);
  return 0;
}
