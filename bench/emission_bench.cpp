// Cost of a printed page: the print driver emitting onto the recording surface with recording off.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QStringList>

#include "layout/print_driver.h"
#include "recording_surface.h"

namespace {

QStringList SourceLines(int count) {
  QStringList lines;
  for (int i = 0; i < count; ++i) {
    lines.append(i % 9 == 0 ? QString()
                            : QStringLiteral("  Protected Result.i = CountLeaves(*Node\\Left, %1) ; line").arg(i));
  }
  return lines;
}

// The whole job for a source of range(0) lines; "page" is the time per page emitted.
void BM_PrintJob(benchmark::State& state) {
  folivane::PrintRequest request;
  request.source.lines = SourceLines(static_cast<int>(state.range(0)));
  request.source.ideVersion = QStringLiteral(" PureBasic 6.10 LTS");
  request.sourcePath = QStringLiteral("/home/user/Greenhouse.pb");
  request.clock = [] { return folivane::LocalTime{2027, 3, 1, 14, 5, 9}; };

  // One recorded job counts the pages.
  folivane::RecordingSurface counting;
  folivane::RunPrintDriver(counting, request);
  const double pages = static_cast<double>(counting.CallsOf(folivane::SurfaceCall::Kind::NextPage).size() + 1);

  for (auto _ : state) {
    folivane::RecordingSurface surface;
    surface.recording = false;
    folivane::RunPrintDriver(surface, request);
    benchmark::DoNotOptimize(surface.putTextCount);
  }
  state.counters["pages"] = pages;
  state.counters["page"] = benchmark::Counter(static_cast<double>(state.iterations()) * pages,
                                              benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_PrintJob)->Arg(1)->Arg(60)->Arg(6000)->Unit(benchmark::kMillisecond);

// Fonts need a GUI application; the offscreen platform needs no display.
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
