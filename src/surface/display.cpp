#include "surface/display.h"

#include <QApplication>

namespace folivane {

bool CanShowWindows() {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return false;
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal") &&
         platform != QLatin1String("minimalegl");
}

}  // namespace folivane
