// Refused jobs where Qt's print support does not go through CUPS: they show nowhere the tool
// could read them.
#include "surface/print_queue.h"

namespace folivane {

QString RefusedJobReason() { return QString(); }

}  // namespace folivane
