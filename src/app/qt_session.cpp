#include "app/qt_session.h"

namespace folivane {

QtSession::QtSession(const char* programName, MakeApplication makeApplication) : programName_(programName) {
  argv_[0] = programName_.data();
  application_ = makeApplication(argc_, argv_);
}

QtSession QtSession::Batch(const char* programName) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  return QtSession(programName, [](int& argc, char** argv) -> std::unique_ptr<QGuiApplication> {
    return std::make_unique<QGuiApplication>(argc, argv);
  });
}

}  // namespace folivane
