// Qt for one of the tool's programs: the platform, the application object and where messages go.
#pragma once

#include <QByteArray>
#include <QGuiApplication>
#include <memory>

namespace folivane {

// Either way Qt sees only the program name, so no parameter of the tool's is taken for an option
// of Qt's, and the tool's diagnostics reach stderr when QT_LOGGING_RULES turns them on.
class QtSession {
 public:
  // A widget application on the display when there is one, offscreen when there is none or it
  // cannot be reached; Qt's own messages are dropped, as the tool shows none. Defined in
  // qt_session_desktop.cpp, which only the desktop program links: folivane-pdf starts without
  // Qt Widgets.
  static QtSession Desktop(const char* programName);
  // A Qt Gui application offscreen, whose output is the same with or without a display; Qt's
  // warnings go to stderr, as a command-line tool's do.
  static QtSession Batch(const char* programName);

  QtSession(const QtSession&) = delete;
  QtSession& operator=(const QtSession&) = delete;

 private:
  using MakeApplication = std::unique_ptr<QGuiApplication> (*)(int& argc, char** argv);
  QtSession(const char* programName, MakeApplication makeApplication);

  QByteArray programName_;
  int argc_ = 1;
  char* argv_[2] = {};
  std::unique_ptr<QGuiApplication> application_;
};

}  // namespace folivane
