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
  enum class Kind {
    // A widget application on the display when there is one, offscreen when there is none or it
    // cannot be reached; Qt's own messages are dropped, as the tool shows none.
    Desktop,
    // A Qt Gui application offscreen, whose output is the same with or without a display; Qt's
    // warnings go to stderr, as a command-line tool's do.
    Batch,
  };

  QtSession(const char* programName, Kind kind);
  QtSession(const QtSession&) = delete;
  QtSession& operator=(const QtSession&) = delete;

 private:
  QByteArray programName_;
  int argc_ = 1;
  char* argv_[2] = {};
  std::unique_ptr<QGuiApplication> application_;
};

}  // namespace folivane
