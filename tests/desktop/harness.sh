# Shared start and stop of a private X server, a private print server and a driverless IPP printer
# for the desktop tests. Sourced by the test scripts; everything lives under one temporary root that
# is removed on exit.
# Nothing of the machine's own X or CUPS set-up is changed; only the job policies are read from
# /etc/cups/cupsd.conf when it exists.

set -Eeuo pipefail
# Every exit says where and why. A command that fails unchecked ends the script (set -e); the ERR
# trap, which functions and subshells inherit (set -E), names its line and the command first.
# Inside a command substitution bash turns -e off, and a failure there ends nothing: it is not
# reported either.
harness_error() {
  local status=$1 line=$2 command=$3
  case $- in *e*) ;; *) return 0 ;; esac
  echo "FAIL: line $line of ${BASH_SOURCE[1]##*/}${FUNCNAME[1]:+ (in ${FUNCNAME[1]})}: \"$command\" exited with $status" >&2
}
trap 'harness_error $? $LINENO "$BASH_COMMAND"' ERR

harness_root=$(mktemp -d /tmp/folivane-desktop.XXXXXX)
# The CUPS filters run as the lp user and must reach the print server's folders below this root.
chmod 755 "$harness_root"
xvfb_pid=
cupsd_pid=
printer_pid=
app_pid=
# The exit code of the program under test, set by wait_for_app_exit for the test scripts.
# shellcheck disable=SC2034
app_status=

# Stops a process of this run by its id, forcibly after ten seconds.
stop_process() {
  local pid=$1
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null || return 0
  timeout 10 tail -s 0.1 --pid="$pid" -f /dev/null 2>/dev/null || kill -9 "$pid" 2>/dev/null || true
}

harness_stop() {
  local status=$?
  stop_process "$app_pid"
  stop_process "$printer_pid"
  stop_process "$cupsd_pid"
  stop_process "$xvfb_pid"
  if [ "$status" -ne 0 ]; then
    if [ -s "$harness_root/app.log" ]; then
      echo "--- output of the program under test" >&2
      tail -n 30 "$harness_root/app.log" >&2 || true
    fi
    if [ -s "$harness_root/printer.log" ]; then
      echo "--- last lines of the IPP printer's log" >&2
      tail -n 15 "$harness_root/printer.log" >&2 || true
    fi
    if [ -f "$harness_root/cups/log/error_log" ]; then
      echo "--- last lines of the print server's error log" >&2
      grep -v '^[ID] ' "$harness_root/cups/log/error_log" | tail -n 30 >&2 || true
    fi
  fi
  if [ -n "${FOLIVANE_KEEP_TEST_ROOT:-}" ]; then
    echo "test root kept: $harness_root" >&2
  else
    rm -rf "$harness_root"
  fi
  exit "$status"
}
trap harness_stop EXIT
trap 'echo "FAIL: interrupted (SIGINT)" >&2; exit 130' INT
trap 'echo "FAIL: stopped by SIGTERM or SIGHUP" >&2; exit 143' TERM HUP

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

note() {
  echo "$*"
}

# Runs "$@" every tenth of a second until it succeeds or $1 seconds have passed.
wait_until() {
  local seconds=$1
  shift
  local deadline=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

process_alive() {
  kill -0 "$1" 2>/dev/null
}

# A private home: no settings file, lpoptions or Qt configuration of the caller takes part, and
# no destination chosen through the environment overrides the test queue.
export HOME=$harness_root/home
export XDG_CONFIG_HOME=$HOME/.config
mkdir -p "$XDG_CONFIG_HOME"
unset PRINTER LPDEST

# Fails unless every named program is installed (scripts/setup installs them).
require_programs() {
  local program missing=()
  for program in "$@"; do
    command -v "$program" >/dev/null 2>&1 || missing+=("$program")
  done
  [ "${#missing[@]}" -eq 0 ] || fail "missing programs: ${missing[*]} (run scripts/setup)"
}

# Qt wants a private runtime folder; one under the root keeps the machine's own untouched.
export XDG_RUNTIME_DIR=$harness_root/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

# Starts Xvfb on the first display number from 90 on that has neither a socket nor a lock file,
# and sets DISPLAY. Another run may take the same number at the same moment: our server then ends
# at once, or the lock file names the other server, and the next number is tried.
start_xvfb() {
  require_programs Xvfb xdpyinfo xdotool
  local n deadline
  for n in $(seq 90 129); do
    [ -e "/tmp/.X11-unix/X$n" ] && continue
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -nolisten tcp -screen 0 1280x1024x24 >"$harness_root/xvfb.log" 2>&1 &
    xvfb_pid=$!
    deadline=$((SECONDS + 15))
    while process_alive "$xvfb_pid" && ! xdpyinfo -display ":$n" >/dev/null 2>&1; do
      [ "$SECONDS" -lt "$deadline" ] || fail "Xvfb on :$n did not answer within 15 seconds"
      sleep 0.1
    done
    if process_alive "$xvfb_pid" && [ "$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null)" = "$xvfb_pid" ]; then
      export DISPLAY=":$n"
      return 0
    fi
    stop_process "$xvfb_pid"
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
    # Without a lock file of another server, Xvfb ended for a reason of its own.
    [ -e "/tmp/.X$n-lock" ] || { cat "$harness_root/xvfb.log" >&2; fail "Xvfb did not start"; }
  done
  fail "no free X display between :90 and :129"
}

# Starts "$@" in the background as the program under test, its output in app.log.
start_app() {
  "$@" >"$harness_root/app.log" 2>&1 &
  app_pid=$!
}

# Waits at most $1 seconds for the program under test to end and sets app_status to its exit
# code; fails when it is still running.
wait_for_app_exit() {
  local seconds=$1
  # shellcheck disable=SC2034
  app_status=0
  timeout "$seconds" tail -s 0.1 --pid="$app_pid" -f /dev/null 2>/dev/null ||
    fail "the program did not end within $seconds seconds"
  # shellcheck disable=SC2034
  wait "$app_pid" || app_status=$?
  app_pid=
}

# Prints the id of the first visible window whose whole title is $1, waiting at most $2 seconds;
# prints nothing when there is none by then.
find_window() {
  local title=$1 seconds=$2
  { timeout "$seconds" xdotool search --sync --onlyvisible --name "^$title\$" 2>/dev/null || true; } |
    head -n 1
}

# Job policies for the private print server: those of the machine, or the stock default policy.
# Job names are made public so that an unauthenticated Get-Jobs request shows them.
cups_policies() {
  if [ -r /etc/cups/cupsd.conf ] && grep -q '^<Policy' /etc/cups/cupsd.conf; then
    sed -n '/^<Policy/,/^<\/Policy>/p' /etc/cups/cupsd.conf |
      sed 's/^\( *\)JobPrivateValues .*/\1JobPrivateValues none/'
    return
  fi
  cat <<'POLICY'
<Policy default>
  JobPrivateAccess default
  JobPrivateValues none
  SubscriptionPrivateAccess default
  SubscriptionPrivateValues default
  <Limit Create-Job Print-Job Print-URI Validate-Job>
    Order deny,allow
  </Limit>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
POLICY
}

# Starts cupsd in the foreground on a private socket and exports CUPS_SERVER, which both the lp
# tools and Qt's print support honour.
start_cups() {
  require_programs cupsd lpstat lpadmin lp ipptool pdfinfo pdftotext
  local cups=$harness_root/cups
  mkdir -p "$cups/etc" "$cups/etc/ppd" "$cups/etc/ssl" "$cups/spool" "$cups/state" \
           "$cups/cache" "$cups/tmp" "$cups/log"
  # The filters run as lp and write their temporary files here.
  chmod 1777 "$cups/tmp"
  cat >"$cups/cups-files.conf" <<CONF
SystemGroup root lpadmin
ServerRoot $cups/etc
RequestRoot $cups/spool
StateDir $cups/state
CacheDir $cups/cache
TempDir $cups/tmp
ErrorLog $cups/log/error_log
AccessLog $cups/log/access_log
PageLog $cups/log/page_log
Printcap $cups/printcap
CONF
  {
    cat <<CONF
Listen $cups/cups.sock
LogLevel info
# The documents of finished jobs stay in the spool folder, for a look after a failed test.
PreserveJobFiles Yes
Browsing No
BrowseLocalProtocols none
WebInterface No
DefaultAuthType Basic
<Location />
  Order allow,deny
  Allow localhost
</Location>
<Location /admin>
  Order allow,deny
  Allow localhost
</Location>
CONF
    cups_policies
  } >"$cups/cupsd.conf"

  cupsd -f -c "$cups/cupsd.conf" -s "$cups/cups-files.conf" >"$cups/log/cupsd.out" 2>&1 &
  cupsd_pid=$!
  export CUPS_SERVER=$cups/cups.sock
  if ! wait_until 15 cups_running; then
    cat "$cups/log/cupsd.out" >&2 || true
    fail "the print server did not start"
  fi
}

cups_running() {
  process_alive "$cupsd_pid" && lpstat -r | grep -q 'is running'
}

# The IPP Everywhere printer of the test: its port, and the folder that keeps every document it
# receives as "JOBID-JOBNAME.EXT".
printer_port=
printer_spool=$harness_root/printer

# Starts ippeveprinter, the reference driverless IPP printer, on a free loopback port. $1 is the
# library of no-op avahi calls: without an avahi daemon ippeveprinter ends at start-up, and the
# queue reaches it by its direct address, so nothing needs advertising. It takes PDF (what the
# queue then sends) and raster, keeps the documents, and finishes each job at once (its own
# print simulation would take seconds per job).
start_ipp_printer() {
  local avahi_stub=$1
  require_programs ippeveprinter ipptool
  [ -r "$avahi_stub" ] || fail "no avahi stand-in at $avahi_stub (build the target folivane_avahi_stub)"
  mkdir -p "$printer_spool"
  # A name of this run alone tells our printer from another run's on the same port.
  local name="Folivane Test ${harness_root##*.}" port
  for _ in $(seq 1 10); do
    port=$((20000 + RANDOM % 30000))
    LD_PRELOAD=$avahi_stub ippeveprinter -n localhost -p "$port" -d "$printer_spool" -k -c /bin/true \
      -f application/pdf,image/pwg-raster,image/urf "$name" >"$harness_root/printer.log" 2>&1 &
    printer_pid=$!
    if wait_until 10 printer_answers "$port" "$name"; then
      printer_port=$port
      return 0
    fi
    stop_process "$printer_pid"
    wait "$printer_pid" 2>/dev/null || true
    printer_pid=
  done
  cat "$harness_root/printer.log" >&2 || true
  fail "ippeveprinter did not start"
}

printer_answers() {
  local port=$1 name=$2
  process_alive "$printer_pid" &&
    timeout 5 ipptool -tv "ipp://127.0.0.1:$port/ipp/print" get-printer-attributes.test |
      grep -q -F "printer-name (nameWithoutLanguage) = $name"
}

stop_ipp_printer() {
  stop_process "$printer_pid"
  wait "$printer_pid" 2>/dev/null || true
  printer_pid=
}

# Adds the driverless queue $1 for the IPP printer, as a user's system would add a printer found
# on the network, and makes it the default queue. The queue takes its page sizes, margins and
# defaults (US Letter) from the printer's answer.
add_ipp_queue() {
  local name=$1
  timeout 30 lpadmin -p "$name" -v "ipp://127.0.0.1:$printer_port/ipp/print" -m everywhere -E \
    >"$harness_root/lpadmin.log" 2>&1 || { cat "$harness_root/lpadmin.log" >&2; fail "lpadmin could not add the queue $name"; }
  timeout 20 lpadmin -d "$name" >>"$harness_root/lpadmin.log" 2>&1 ||
    { cat "$harness_root/lpadmin.log" >&2; fail "lpadmin could not make $name the default queue"; }
}

# Prints one line per job that the IPP printer received, in the order of their ids:
# "id|state|name|document format|copies|multiple-document-handling|media size", the media size as
# "WIDTHxHEIGHT" in hundredths of a millimetre; an attribute the job lacks is left empty.
printer_jobs() {
  cat >"$harness_root/printer-jobs.test" <<'TEST'
{
  NAME "Get-Jobs"
  OPERATION Get-Jobs
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR keyword which-jobs all
  ATTR keyword requested-attributes job-id,job-state,job-name,document-format-supplied,copies,multiple-document-handling,media-col
  STATUS successful-ok
}
TEST
  local response
  response=$(timeout 20 ipptool -tv "ipp://127.0.0.1:$printer_port/ipp/print" "$harness_root/printer-jobs.test") ||
    return 1
  # ipptool shows each job's attributes as one group, the groups parted by "-- separator --".
  printf '%s\n' "$response" | sed -n '/^ *status-code = /,$p' | awk -F' = ' '
    function flush() {
      if (id != "") print id "|" state "|" name "|" format "|" copies "|" handling "|" media
      id = state = name = format = copies = handling = media = ""
    }
    /-- separator --/ { flush() }
    /^ *job-id \(integer\)/ { id = $2 }
    /^ *job-state \(enum\)/ { state = $2 }
    /^ *job-name \(/ { name = $2 }
    /^ *document-format-supplied \(/ { format = $2 }
    /^ *copies \(integer\)/ { copies = $2 }
    /^ *multiple-document-handling \(/ { handling = $2 }
    /^ *media-col \(collection\)/ {
      if (match($0, /x-dimension=[0-9]+ y-dimension=[0-9]+/)) {
        size = substr($0, RSTART, RLENGTH)
        gsub(/[xy]-dimension=/, "", size)
        sub(/ /, "x", size)
        media = size
      }
    }
    END { flush() }' | sort -t'|' -n -k1,1
}

# Sends the IPP request of the test file $2 (an ipptool test, see ipptool-test(5)) to queue $1
# and prints the response with -tv.
ipp_request() {
  local queue=$1 test_file=$2
  local socket_host
  # An IPP address whose host is the percent-encoded socket path reaches the private server.
  socket_host=$(printf %s "$CUPS_SERVER" | sed 's|/|%2F|g')
  timeout 20 ipptool -tv "ipp://$socket_host/printers/$queue" "$test_file"
}

# Prints one line "id|state|name" per job of queue $2; $1 is the which-jobs keyword ("completed",
# "not-completed" or "all"). lpstat does not show job names. A Get-Jobs request lists the jobs;
# the scheduler leaves the name of a finished job out of that answer, so each job's name comes
# from a Get-Job-Attributes request.
list_jobs() {
  local which=$1 queue=$2
  cat >"$harness_root/get-jobs.test" <<TEST
{
  NAME "Get-Jobs"
  OPERATION Get-Jobs
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri \$uri
  ATTR name requesting-user-name \$user
  ATTR keyword which-jobs $which
  ATTR keyword requested-attributes job-id,job-state
  STATUS successful-ok
}
TEST
  local response id state name
  response=$(ipp_request "$queue" "$harness_root/get-jobs.test") || return 1
  while read -r id state; do
    cat >"$harness_root/get-job.test" <<TEST
{
  NAME "Get-Job-Attributes"
  OPERATION Get-Job-Attributes
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri \$uri
  ATTR integer job-id $id
  ATTR name requesting-user-name \$user
  ATTR keyword requested-attributes job-name
  STATUS successful-ok
}
TEST
    name=$(ipp_request "$queue" "$harness_root/get-job.test" |
      sed -n 's/^ *job-name ([a-zA-Z]*) = //p')
    printf '%s|%s|%s\n' "$id" "$state" "$name"
  done < <(printf '%s\n' "$response" | awk -F' = ' '
      /^ *job-id \(integer\)/ { id = $2 }
      /^ *job-state \(enum\)/ { print id, $2 }')
}

# Waits until queue $1 has no job left that is not completed, for at most $2 seconds.
wait_for_idle_queue() {
  local queue=$1 seconds=$2
  wait_until "$seconds" queue_idle "$queue"
}

queue_idle() {
  [ -z "$(lpstat -o "$1" 2>/dev/null)" ]
}

# Writes a one-page A4 PDF with the text $2 to the file $1, with a correct cross-reference table.
write_small_pdf() {
  local file=$1 text=$2
  # Offsets count bytes.
  local LC_ALL=C
  local content="BT /F1 24 Tf 72 720 Td ($text) Tj ET"
  local objects=(
    "<< /Type /Catalog /Pages 2 0 R >>"
    "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"
    "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>"
    "<< /Length ${#content} >>
stream
$content
endstream"
    "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"
  )
  local body offsets=() i
  body=$'%PDF-1.4\n'
  for i in "${!objects[@]}"; do
    offsets+=("${#body}")
    body+="$((i + 1)) 0 obj"$'\n'"${objects[$i]}"$'\n'"endobj"$'\n'
  done
  local xref_at=${#body}
  body+="xref"$'\n'"0 $((${#objects[@]} + 1))"$'\n'"0000000000 65535 f "$'\n'
  for i in "${offsets[@]}"; do
    body+=$(printf '%010d 00000 n ' "$i")$'\n'
  done
  body+="trailer"$'\n'"<< /Size $((${#objects[@]} + 1)) /Root 1 0 R >>"$'\n'
  body+="startxref"$'\n'"$xref_at"$'\n'"%%EOF"$'\n'
  printf %s "$body" >"$file"
}
