#include "app/qt_session.h"

#include <QFile>
#include <QTemporaryDir>
#include <optional>

namespace folivane {

QtSession::QtSession(const char* programName, MakeApplication makeApplication) : programName_(programName) {
  argv_[0] = programName_.data();
  // Without a runtime folder (cron, su, a container) Qt's start would make /tmp/runtime-$USER and
  // warn that it did, only to look there for a Wayland socket. A private empty folder answers that
  // look-up, for the start alone.
  std::optional<QTemporaryDir> runtimeFolder;
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    runtimeFolder.emplace();
    if (runtimeFolder->isValid()) qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeFolder->path()));
  }
  application_ = makeApplication(argc_, argv_);
  if (runtimeFolder) qunsetenv("XDG_RUNTIME_DIR");
}

QtSession QtSession::Batch(const char* programName) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  return QtSession(programName, [](int& argc, char** argv) -> std::unique_ptr<QGuiApplication> {
    return std::make_unique<QGuiApplication>(argc, argv);
  });
}

}  // namespace folivane
