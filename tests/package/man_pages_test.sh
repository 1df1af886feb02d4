#!/usr/bin/env bash
# Formats each generated man page the way man shows it and fails on any warning from groff or man.
# Usage: man_pages_test.sh PAGE.1...
set -uo pipefail
status=0
for page in "$@"; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  if [ $? -ne 0 ] || [ -n "$warnings" ]; then
    echo "$page:"; echo "$warnings"; status=1
  fi
done
exit $status
