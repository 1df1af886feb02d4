#include "base/display.h"

#include <QGuiApplication>

namespace folivane {

bool CanShowWindows() {
  // Asked by name, so that what may ask links no widgets.
  const QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr || !application->inherits("QApplication")) return false;
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal") &&
         platform != QLatin1String("minimalegl");
}

}  // namespace folivane
