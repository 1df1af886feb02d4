#include <QApplication>
#include <QIcon>

#include "app/qt_session.h"
#include "base/diagnostics.h"

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

QtSession QtSession::Desktop(const char* programName) {
  ChooseDesktopPlatform();
  qInstallMessageHandler(WriteOwnMessagesOnly);
  return QtSession(programName, [](int& argc, char** argv) -> std::unique_ptr<QGuiApplication> {
    auto application = std::make_unique<QApplication>(argc, argv);
    // The desktop finds the entry and the icon of the settings window by these names.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.folivane.Folivane"));
    QGuiApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("folivane"), QIcon(QStringLiteral(":/folivane-64.png"))));
    return application;
  });
}

}  // namespace folivane
