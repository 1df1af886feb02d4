// The system print queue behind Qt's printer: what Qt's print support leaves unsaid to it or unheard from it.
#pragma once

#include <QString>

class QPrinter;

namespace folivane {

// Tells the queue "uncollated" when the print dialog asked for several uncollated copies. Qt's
// CUPS support names collation to the queue only when it is on; unticked, the queue's own
// default (collated copies) would win.
void PassCollation(QPrinter& printer);

// Why the print queue refused the job that ending the printer's painter has just handed to it;
// empty when it took the job, or when the platform cannot tell.
QString RefusedJobReason();

}  // namespace folivane
