#include "app/qt_threads.h"

#include <QSemaphore>
#include <QThreadPool>
#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace folivane {

namespace {

// Set by the message handler while one pool thread is started; the pool reports a thread that
// could not be created only by this warning.
bool threadRefused = false;
QtMessageHandler handlerBefore = nullptr;

void WatchThreadStart(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QLatin1String("QThread::start: Thread creation error"))) {
    threadRefused = true;
    return;
  }
  if (handlerBefore) handlerBefore(type, context, message);
}

}  // namespace

QtThreads StartQtThreads() {
  QThreadPool* pool = QThreadPool::globalInstance();
  // A thread that ended after a pause would have to be started again, and that may fail then.
  pool->setExpiryTimeout(-1);
  const int wanted = std::max(1, pool->maxThreadCount());
  QtThreads threads;
  // Each started thread waits until all are asked for, so that the next task needs a new one.
  // Static: a thread may still be leaving `release` when this function returns.
  static QSemaphore running;
  static QSemaphore release;
  handlerBefore = qInstallMessageHandler(WatchThreadStart);
  for (; threads.started < wanted; ++threads.started) {
    threadRefused = false;
    pool->start([] {
      running.release();
      release.acquire();
    });
    if (threadRefused) {
      threads.stranded = true;
      break;
    }
    running.acquire();
  }
  qInstallMessageHandler(handlerBefore);
  release.release(threads.started);
  // The stranded thread counts as busy: with it the pool is full, and a task waits for one of
  // the threads that run.
  if (threads.stranded) pool->setMaxThreadCount(threads.started + 1);
  return threads;
}

void EndProcess(int code) {
  std::fflush(stdout);
  std::fflush(stderr);
  ::_exit(code);
}

}  // namespace folivane
