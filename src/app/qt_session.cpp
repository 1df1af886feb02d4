#include "app/qt_session.h"

#include <QApplication>

#include "surface/diagnostics.h"

namespace folivane {

namespace {

// Qt tries the platforms of a list in turn; ending the list with offscreen turns a display that
// cannot be reached into a quiet run instead of an abort.
void ChooseDesktopPlatform() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
  const QByteArray chosen = qgetenv("QT_QPA_PLATFORM");
  if (!chosen.isEmpty()) {
    if (!chosen.contains("offscreen")) qputenv("QT_QPA_PLATFORM", chosen + ";offscreen");
    return;
  }
  QByteArray list;
  if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) list += "wayland;";
  if (!qEnvironmentVariableIsEmpty("DISPLAY")) list += "xcb;";
  list += "offscreen";
  qputenv("QT_QPA_PLATFORM", list);
#endif
}

}  // namespace

QtSession::QtSession(const char* programName, Kind kind) : programName_(programName) {
  argv_[0] = programName_.data();
  if (kind == Kind::Desktop) {
    ChooseDesktopPlatform();
    qInstallMessageHandler(WriteOwnMessagesOnly);
    application_ = std::make_unique<QApplication>(argc_, argv_);
  } else {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    application_ = std::make_unique<QGuiApplication>(argc_, argv_);
  }
}

}  // namespace folivane
