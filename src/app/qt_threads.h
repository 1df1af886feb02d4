// Qt's shared thread pool made safe where threads are scarce (a task limit, a memory limit).
#pragma once

namespace folivane {

// Qt scales and converts large images on its global thread pool and waits for the pieces. A
// thread the pool cannot start keeps its piece for ever, so that wait, and the pool's own wait
// at exit, never end. StartQtThreads starts the pool's threads now, one by one, and limits the
// pool to those that started, so Qt never asks for another.
struct QtThreads {
  int started = 0;
  // A thread failed to start: the pool counts it as busy for ever, so the process must end
  // with EndProcess, not by returning from main.
  bool stranded = false;
};
QtThreads StartQtThreads();

// Ends the process at once with `code`, streams flushed and no static destructors run.
[[noreturn]] void EndProcess(int code);

}  // namespace folivane
