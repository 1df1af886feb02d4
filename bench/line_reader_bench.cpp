// Throughput of the source intake on ASCII source text, typical and extreme line shapes.
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

#include "intake/source_copy.h"

namespace {

constexpr qsizetype kSourceBytes = 8 * 1024 * 1024;

// PureBasic-like lines of 0 to about 90 bytes, LF ends, with the IDE options block at the end.
QByteArray AsciiSource(qsizetype bytes, const char* lineEnd) {
  const char* lines[] = {
      "Procedure.i CountLeaves(*Node.TreeNode, Depth.i = 0)",
      "  If *Node\\Left = #Null And *Node\\Right = #Null",
      "    ProcedureReturn 1",
      "  EndIf",
      "",
      "  Protected Result.i = CountLeaves(*Node\\Left, Depth + 1) + CountLeaves(*Node\\Right, Depth + 1) ; both",
      "  Debug \"Depth \" + Str(Depth) + \": \" + Str(Result)",
      "EndProcedure",
  };
  QByteArray text;
  text.reserve(bytes + 200);
  for (int k = 0; text.size() < bytes; ++k) {
    text.append(lines[k % 8]);
    text.append(lineEnd);
  }
  text.append("; IDE Options = PureBasic 6.10 LTS (Linux - x64)\n; Folding = -\n");
  return text;
}

// The text is read from a file, as a run reads it. The lines of each pass are freed outside the
// timing: a run reads its copy once and frees the lines at its end, and freeing hundreds of
// thousands of strings costs as much as reading them.
void ReadAll(benchmark::State& state, const QByteArray& text) {
  QTemporaryDir dir;
  QFile file(dir.filePath(QStringLiteral("source.pb")));
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.flush()) {
    state.SkipWithError("no file to read");
    return;
  }
  const QByteArray path = QFile::encodeName(file.fileName());
  double lines = 0;
  for (auto _ : state) {
    auto out = std::make_unique<folivane::SourceText>();
    folivane::ReadSourceFile(path, *out);
    benchmark::DoNotOptimize(out->lines.size());
    lines = static_cast<double>(out->lines.size());
    state.PauseTiming();
    out.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * text.size());
  state.counters["lines"] = lines;
}

void BM_AsciiSourceLf(benchmark::State& state) { ReadAll(state, AsciiSource(kSourceBytes, "\n")); }
void BM_AsciiSourceCrLf(benchmark::State& state) { ReadAll(state, AsciiSource(kSourceBytes, "\r\n")); }

void BM_OneLongLine(benchmark::State& state) {
  QByteArray text(kSourceBytes, 'x');
  text.append('\n');
  ReadAll(state, text);
}

void BM_EmptyLines(benchmark::State& state) { ReadAll(state, QByteArray(kSourceBytes, '\n')); }

// Every eighth byte starts a two-byte sequence.
void BM_Utf8Source(benchmark::State& state) {
  QByteArray text = AsciiSource(kSourceBytes, "\n");
  for (qsizetype i = 0; i + 1 < text.size(); i += 8) {
    if (text[i] != '\n' && text[i + 1] != '\n') {
      text[i] = '\xC3';
      text[i + 1] = '\xA9';
    }
  }
  ReadAll(state, text);
}

}  // namespace

BENCHMARK(BM_AsciiSourceLf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AsciiSourceCrLf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OneLongLine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EmptyLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Utf8Source)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
