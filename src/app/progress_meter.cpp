#include "app/progress_meter.h"

#include <QElapsedTimer>
#include <cstdio>
#include <memory>

namespace folivane {

namespace {

constexpr qint64 kQuietStart = 1000;  // ms
constexpr qint64 kUpdateEvery = 200;  // ms
// Erases to the end of the line what a longer text before left there.
constexpr char kEraseLine[] = "\033[K";

}  // namespace

ProgressMeter::ProgressMeter(bool enabled) {
  if (!enabled) return;
  write_ = [](const QByteArray& text) {
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stderr);
    std::fflush(stderr);
  };
  auto timer = std::make_shared<QElapsedTimer>();
  timer->start();
  elapsed_ = [timer] { return timer->elapsed(); };
}

ProgressMeter::ProgressMeter(Write write, Milliseconds elapsed)
    : write_(std::move(write)), elapsed_(std::move(elapsed)) {}

ProgressMeter::~ProgressMeter() { Finish(); }

void ProgressMeter::Report(const JobProgress& progress) {
  if (!write_) return;
  const qint64 now = elapsed_();
  if (now < kQuietStart || (shownAt_ >= 0 && now - shownAt_ < kUpdateEvery)) return;
  shownAt_ = now;
  write_("\rfolivane-pdf: " + QByteArray::number(progress.pagesDone) + " pages written, line " +
         QByteArray::number(progress.lineReached) + " of " + QByteArray::number(progress.lastLine) + kEraseLine);
}

void ProgressMeter::Finish() {
  if (shownAt_ < 0) return;
  shownAt_ = -1;
  write_(QByteArray("\r") + kEraseLine);
}

}  // namespace folivane
