// The terminal check of folivane-pdf's progress meter on POSIX systems.
#include <unistd.h>

#include "app/progress_meter.h"

namespace folivane {

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace folivane
