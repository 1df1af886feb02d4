// Wrapping and measuring one very long line on the PDF print surface with the Regular body font.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QDir>
#include <QFile>
#include <QStringList>

#include "layout/print_list.h"
#include "surface/fonts.h"
#include "surface/painter_surface.h"

namespace folivane {
namespace {

constexpr int kMegabyte = 1 << 20;
constexpr int kRegularWrapLimit = 4200;

QString PlainLine(int length) {
  QString line(length, u'x');
  for (int i = 0; i < length; i += 5) line[i] = QChar(u'a' + i % 26);
  return line;
}

// A PDF job with the body font selected, as the print driver has it while it builds the list.
struct BodyFontJob {
  BodyFontJob() : output(QDir::temp().filePath(QStringLiteral("wrap_bench.pdf"))) {
    output.open(QIODevice::WriteOnly);
    surface = PainterSurface::ForPdf(output);
    surface->ShowPrintDialog();
    surface->OpenJob(QStringLiteral("PureBasic - Folivane"));
    surface->BeginDrawing();
    surface->UseFont(MakeFont(QStringLiteral("Courier New"), 46, 96));
  }
  ~BodyFontJob() {
    surface->EndDrawing();
    surface->CloseJob();
  }
  QFile output;
  std::unique_ptr<PainterSurface> surface;
};

void WrapOneLine(benchmark::State& state, const QString& line) {
  BodyFontJob job;
  for (auto _ : state) {
    PrintList rows;
    BuildPrintList(*job.surface, QStringList{line}, LineRange{1, 1}, kRegularWrapLimit, rows);
    benchmark::DoNotOptimize(rows.size());
    state.counters["rows"] = static_cast<double>(rows.size());
  }
}

void BM_WrapMegabytePlainLine(benchmark::State& state) { WrapOneLine(state, PlainLine(kMegabyte)); }

void BM_WrapMegabyteLineWithOneCjkCharacter(benchmark::State& state) {
  QString line = PlainLine(kMegabyte);
  line[kMegabyte / 3] = u'\u4E2D';
  WrapOneLine(state, line);
}

void BM_WrapMegabyteLineWithShapedUnitsEverywhere(benchmark::State& state) {
  QString line = PlainLine(kMegabyte);
  for (int i = 97; i < kMegabyte; i += 1000) line[i] = i % 2000 == 97 ? u'\u4E2D' : u'\u0301';
  WrapOneLine(state, line);
}

void BM_MeasureMegabyteLineWithOneCjkCharacter(benchmark::State& state) {
  BodyFontJob job;
  QString line = PlainLine(kMegabyte);
  line[kMegabyte / 3] = u'\u4E2D';
  for (auto _ : state) benchmark::DoNotOptimize(job.surface->MeasureText(line));
}

BENCHMARK(BM_WrapMegabytePlainLine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WrapMegabyteLineWithOneCjkCharacter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WrapMegabyteLineWithShapedUnitsEverywhere)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeasureMegabyteLineWithOneCjkCharacter)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace folivane

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QGuiApplication app(qtArgc, qtArgv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
