// Speed of reading the settings: the tool's own small file, and a large foreign INI file.
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include "settings/settings.h"

namespace {

QString WriteFile(const QTemporaryDir& folder, const QString& name, const QByteArray& bytes) {
  const QString path = folder.filePath(name);
  QFile file(path);
  if (file.open(QIODevice::WriteOnly)) file.write(bytes);
  return path;
}

void BM_LoadToolFile(benchmark::State& state) {
  QTemporaryDir folder;
  const QString path =
      WriteFile(folder, QStringLiteral("Folivane.ini"), "\xEF\xBB\xBF[Settings]\r\nFontSize = 0\r\nPageHeader = 1\r\n");
  for (auto _ : state) benchmark::DoNotOptimize(folivane::LoadSettings(path));
}

// Many groups of many keys, the wanted group last: the reader has to pass over all of it.
QByteArray LargeIni(int groups, int keysPerGroup) {
  QByteArray text("\xEF\xBB\xBF");
  for (int g = 0; g < groups; ++g) {
    text.append("[Group").append(QByteArray::number(g)).append("]\r\n");
    for (int k = 0; k < keysPerGroup; ++k)
      text.append("Key").append(QByteArray::number(k)).append(" = ").append(QByteArray::number(g * k)).append("\r\n");
    text.append("; a comment line between groups\r\n");
  }
  text.append("[Settings]\r\nFontSize = 0\r\nPageHeader = 0\r\n");
  return text;
}

void BM_LoadLargeFile(benchmark::State& state) {
  QTemporaryDir folder;
  const QByteArray text = LargeIni(static_cast<int>(state.range(0)), 20);
  const QString path = WriteFile(folder, QStringLiteral("large.ini"), text);
  for (auto _ : state) {
    const folivane::Settings settings = folivane::LoadSettings(path);
    if (settings.fontSize != folivane::FontSize::Large) state.SkipWithError("wrong value read");
  }
  state.SetBytesProcessed(state.iterations() * text.size());
}

}  // namespace

BENCHMARK(BM_LoadToolFile)->Unit(benchmark::kMicrosecond);
// 190 groups stay within the 64 KiB that are read of a settings file.
BENCHMARK(BM_LoadLargeFile)->Arg(100)->Arg(190)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
