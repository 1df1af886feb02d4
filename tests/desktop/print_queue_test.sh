#!/usr/bin/env bash
# The private print server and its PDF queue on their own, without the tool: a small PDF sent
# with lp must come out of the queue's file device as a PDF with the same page and text, and its
# job name must show in the job list. When this fails, the print-path tests cannot pass either.
# Usage: print_queue_test.sh
set -euo pipefail
source "$(dirname "$0")/harness.sh"

queue=QueueCheck
job_file=$harness_root/out/job.pdf

start_cups
add_pdf_queue "$queue" "$job_file"
note "print server at $CUPS_SERVER"
[ "$(LC_ALL=C lpstat -d)" = "system default destination: $queue" ] ||
  fail "the default queue is not $queue: $(lpstat -d)"

write_small_pdf "$harness_root/small.pdf" "Queue check text"
pdfinfo "$harness_root/small.pdf" >/dev/null || fail "the hand-made PDF does not read back"
timeout 20 lp -t "Queue check job" "$harness_root/small.pdf" >/dev/null ||
  fail "lp could not send the PDF to the default queue"
wait_for_idle_queue "$queue" 30 || fail "the queue did not finish within 30 seconds"

jobs=$(list_jobs all "$queue") || fail "the job list could not be read"
note "jobs: $jobs"
[ "$jobs" = "1|completed|Queue check job" ] || fail "unexpected job list: $jobs"
[ -s "$job_file" ] || fail "the queue wrote no file"
pages=$(pdfinfo "$job_file" | sed -n 's/^Pages: *//p')
note "page count: $pages"
[ "$pages" = 1 ] || fail "the queued PDF has $pages pages"
pdftotext "$job_file" "$harness_root/job.txt" || fail "pdftotext could not read the queued PDF"
grep -q -F "Queue check text" "$harness_root/job.txt" || fail "the queued PDF lost its text"
note "PASS"
