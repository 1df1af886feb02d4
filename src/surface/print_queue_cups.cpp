// Refused jobs on CUPS, which Qt's print support talks to through libcups in this process.
#include <cups/cups.h>

#include "surface/print_queue.h"

namespace folivane {

QString RefusedJobReason() {
  // Qt submits the job with cupsPrintFile when the painter ends, in this thread and through this
  // libcups, so the thread's last CUPS status is that submission's answer.
  if (cupsLastError() < IPP_STATUS_REDIRECTION_OTHER_SITE) return QString();
  const char* reason = cupsLastErrorString();
  return reason != nullptr && reason[0] != '\0' ? QString::fromUtf8(reason)
                                                : QString::fromLatin1(ippErrorString(cupsLastError()));
}

}  // namespace folivane
