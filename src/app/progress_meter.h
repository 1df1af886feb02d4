// folivane-pdf's progress on a terminal: pages written and lines reached, for jobs that take a while.
#pragma once

#include <QByteArray>
#include <functional>

#include "layout/print_driver.h"

namespace folivane {

// Shows a job's progress on one line, rewritten in place: nothing for the first second (a short
// job says nothing), then at most a few updates a second; Finish clears the line again.
class ProgressMeter {
 public:
  using Write = std::function<void(const QByteArray&)>;
  using Milliseconds = std::function<qint64()>;  // time since the job started

  // Writes to standard error; shows nothing unless `enabled`.
  explicit ProgressMeter(bool enabled);
  ProgressMeter(Write write, Milliseconds elapsed);
  ~ProgressMeter();
  ProgressMeter(const ProgressMeter&) = delete;
  ProgressMeter& operator=(const ProgressMeter&) = delete;

  void Report(const JobProgress& progress);
  // Clears the line, if one was shown, so that what follows starts on a clean line.
  void Finish();

 private:
  Write write_;
  Milliseconds elapsed_;
  qint64 shownAt_ = -1;  // when the line was last written; -1 while nothing is shown
};

// Whether standard error goes to a terminal, where a line rewritten in place makes sense.
bool StandardErrorIsTerminal();

}  // namespace folivane
