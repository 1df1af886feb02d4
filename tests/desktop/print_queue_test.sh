#!/usr/bin/env bash
# The private print server, the driverless IPP printer and its queue on their own, without the
# tool: a small PDF sent with lp must reach the printer as a PDF with the same page and text,
# under its job name. When this fails, the print-path tests cannot pass either.
# Usage: print_queue_test.sh AVAHI_STUB
set -euo pipefail
avahi_stub=$1
source "$(dirname "$0")/harness.sh"

queue=QueueCheck

start_cups
start_ipp_printer "$avahi_stub"
add_ipp_queue "$queue"
note "print server at $CUPS_SERVER, IPP printer at port $printer_port"
[ "$(LC_ALL=C lpstat -d)" = "system default destination: $queue" ] ||
  fail "the default queue is not $queue: $(lpstat -d)"

write_small_pdf "$harness_root/small.pdf" "Queue check text"
pdfinfo "$harness_root/small.pdf" >/dev/null || fail "the hand-made PDF does not read back"
timeout 20 lp -t "Queue check job" "$harness_root/small.pdf" >/dev/null ||
  fail "lp could not send the PDF to the default queue"
wait_for_idle_queue "$queue" 30 || fail "the queue did not pass its job on within 30 seconds"

jobs=$(printer_jobs) || fail "the printer's job list could not be read"
note "printer's jobs: $jobs"
[ "$jobs" = "1|completed|Queue check job|application/pdf||separate-documents-collated-copies|" ] || fail "unexpected job list: $jobs"
document=$printer_spool/1-queue_check_job.pdf
[ -s "$document" ] || fail "the printer kept no document: $(ls "$printer_spool")"
pages=$(pdfinfo "$document" | sed -n 's/^Pages: *//p')
note "page count: $pages"
[ "$pages" = 1 ] || fail "the document has $pages pages"
pdftotext "$document" "$harness_root/job.txt" || fail "pdftotext could not read the document"
grep -q -F "Queue check text" "$harness_root/job.txt" || fail "the document lost its text"
note "PASS"
