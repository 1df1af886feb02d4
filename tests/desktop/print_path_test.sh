#!/usr/bin/env bash
# The print road on a real X server, a private CUPS server and a driverless IPP printer: the IDE's
# temporary copy is read and deleted, the print dialog is answered from the keyboard, and what the
# printer received is checked: the job's attributes (name, format, copies, collation) and the
# document it kept (pages, paper, text).
# Usage: print_path_test.sh FOLIVANE FOLIVANE_PDF AVAHI_STUB SAMPLE CASE
#   CASE: one-page      20 lines, default settings: one page
#         two-pages     71 lines, default settings: the 71st row starts page 2
#         large         53 lines with FontSize 0: the Large profile holds 52 rows per page
#         first-page    147 lines with PageHeader 0: 70 rows, then 77 under a banner-only page
#         selection     100 lines, selection 3x1x5x4: lines 3 to 5 only
#         letter        the sample on the printer's US Letter: laid out on Letter's printable
#                       area, nothing outside it, the same lines on each page as folivane-pdf's
#                       A4 at 600 dpi
#         collated      2 copies, Collate ticked: the printer is told 2 collated copies
#         uncollated    2 copies, Collate unticked: the printer is told 2 uncollated copies
#         page-range    "Pages from" 2 to 3 of 3 pages: the printer receives pages 2 and 3
#         refused       the queue stops accepting jobs while the dialog is open: exit 0, no
#                       job, the refusal only in the folivane.print diagnostics
#         printer-gone  the printer goes away while the dialog is open: exit 0 at once, the job
#                       waits in the queue
#         cancel        Escape in the print dialog: no job
#         empty-source  only the IDE options block: no dialog, no job
set -euo pipefail
folivane=$1
folivane_pdf=$2
avahi_stub=$3
sample=$4
case_name=$5
source "$(dirname "$0")/harness.sh"
[ -x "$folivane" ] || fail "no program at $folivane (build the target folivane)"

queue=FolivaneTest
job_file=
source_dir=$harness_root/source
copy_file=$harness_root/ide-temp/PB_EditorOutput.pb
source_path="$source_dir/Demo Program.pb"
ide_version="PureBasic 6.10 LTS (Linux - x64)"
# The printable area of the driverless queue's US Letter, in points from the top-left corner of
# the sheet: 18 points of margin all round.
letter_margin=18

# A source of $1 numbered lines "ValueNNN = NNN ; ..." followed by the IDE options block.
write_copy() {
  local count=$1 i
  mkdir -p "$(dirname "$copy_file")" "$source_dir"
  {
    for ((i = 1; i <= count; i++)); do
      printf 'Value%03d = %d ; line %d of the listing\n' "$i" "$i" "$i"
    done
    printf '; IDE Options = %s\n; CursorPosition = 3\n; EnableXP\n' "$ide_version"
  } >"$copy_file"
  cp "$copy_file" "$source_path"
}

write_settings() {
  printf '\xef\xbb\xbf\r\n[Settings]\r\nFontSize = %s\r\nPageHeader = %s\r\n' "$1" "$2" \
    >"$XDG_CONFIG_HOME/Folivane.ini"
}

expect_text() {
  grep -q -F -- "$1" "$harness_root/job.txt" || fail "the printed text lacks \"$1\""
}

# Text $2 is on page $1 of the job.
expect_page_text() {
  local page_text=$harness_root/page-$1.txt
  [ -f "$page_text" ] || pdftotext -layout -f "$1" -l "$1" "$job_file" "$page_text" ||
    fail "pdftotext could not read page $1"
  grep -q -F -- "$2" "$page_text" || fail "page $1 lacks \"$2\""
}

expect_no_text() {
  ! grep -q -F -- "$1" "$harness_root/job.txt" || fail "the printed text holds \"$1\""
}

# Starts the program as the IDE does and waits until its print dialog has the focus.
open_print_dialog() {
  start_app "$folivane" "$copy_file" "$source_path" "$selection"
  dialog=$(find_window Print 20)
  [ -n "$dialog" ] || fail "no window titled \"Print\" appeared within 20 seconds"
  note "print dialog found: id $dialog"
  [ ! -e "$copy_file" ] || fail "the temporary copy still exists while the print dialog is shown"
  timeout 10 xdotool windowfocus --sync "$dialog" || fail "the print dialog did not take the focus"
}

# Presses the keys "$@" one after another in the focused dialog.
press() {
  local key
  for key in "$@"; do
    xdotool key "$key" || fail "could not press $key"
    sleep 0.2
  done
}

# Answers the open dialog with key $1 (Return prints, Escape cancels) and waits for the exit.
close_print_dialog() {
  press "$1"
  wait_for_app_exit 30
}

# Keys that lead from a freshly opened dialog to its "Copies" box: "Options >>" shows the Copies
# tab, whose first field in the focus chain after the printer's (Properties, output file, the tab
# itself, the print range, the page set) is the number of copies.
to_copies=(alt+o Tab Tab Tab Tab Tab Tab)
# Keys that lead to "Pages from" and check it.
to_pages_from=(alt+o Tab Tab Tab Tab Down)

# Waits until the printer has finished one job and checks it: the tool's job name, PDF, $2 copies
# as $3 (both empty for one copy) and a document of $1 pages of US Letter, whose text goes to
# job.txt.
expect_printer_job() {
  local pages=$1 copies=$2 handling=$3
  wait_for_idle_queue "$queue" 30 || fail "the queue did not pass its job on within 30 seconds"
  wait_until 30 printer_finished || fail "the printer did not finish a job within 30 seconds"
  local jobs id state name format job_copies job_handling
  jobs=$(printer_jobs) || fail "the printer's job list could not be read"
  note "printer's jobs: ${jobs//$'\n'/; }"
  [ "$(grep -c . <<<"$jobs")" -eq 1 ] || fail "expected one job at the printer, found: $jobs"
  IFS="|" read -r id state name format job_copies job_handling _ <<<"$jobs"
  [ "$state" = completed ] || fail "the job ended $state"
  [ "$name" = "PureBasic - Folivane" ] || fail "the job is named \"$name\""
  [ "$format" = application/pdf ] || fail "the document arrived as $format"
  [ "$job_copies" = "$copies" ] || fail "the printer was asked for \"$job_copies\" copies, not \"$copies\""
  [ -z "$handling" ] || [ "$job_handling" = "$handling" ] ||
    fail "the copies arrived as $job_handling, not $handling"
  job_file=$(find "$printer_spool" -name "$id-*.pdf" | head -n 1) || fail "the printer's folder could not be searched"
  [ -s "$job_file" ] || fail "the printer kept no document for job $id"
  local info found
  info=$(pdfinfo "$job_file") || fail "the document is no readable PDF"
  found=$(sed -n 's/^Pages: *//p' <<<"$info")
  note "page count: $found"
  [ "$found" = "$pages" ] || fail "the document has $found pages, not $pages"
  grep -q '^Page size: *612\(\.[0-9]*\)\? x 792\(\.[0-9]*\)\? pts' <<<"$info" ||
    fail "the pages are not US Letter: $(grep '^Page size' <<<"$info")"
  pdftotext -layout "$job_file" "$harness_root/job.txt" || fail "pdftotext could not read the PDF"
}

printer_finished() {
  printer_jobs | grep -q '|completed|'
}

# Fails when the printer received any job.
expect_no_printer_job() {
  local jobs
  jobs=$(printer_jobs) || fail "the printer's job list could not be read"
  [ -z "$jobs" ] || fail "the printer received jobs: $jobs"
  [ -z "$(find "$printer_spool" -name '*.pdf')" ] || fail "the printer kept a document"
}

# The tool wrote nothing on stderr or stdout.
expect_silence() {
  [ ! -s "$harness_root/app.log" ] || fail "the program wrote: $(head -c 300 "$harness_root/app.log")"
}

# Checks the furniture and the listing shared by every printed case: banner, footer, header.
expect_furniture() {
  local pages=$1 p
  expect_text "SOURCE CODE"
  for ((p = 1; p <= pages; p++)); do expect_text "Page $p"; done
  expect_no_text "Page $((pages + 1))"
  expect_text "Demo Program.pb"
  expect_text "$ide_version"
  expect_no_text "CursorPosition"
  expect_no_text "IDE Options"
}

# Prints, for each page of the PDF $1, the line numbers on it and its number of body rows.
lines_per_page() {
  local pdf=$1 pages p text
  pages=$(pdfinfo "$pdf" | sed -n 's/^Pages: *//p') || fail "pdfinfo could not read $pdf"
  for ((p = 1; p <= pages; p++)); do
    text=$(pdftotext -layout -f "$p" -l "$p" "$pdf" -) || fail "pdftotext could not read page $p of $pdf"
    # Between the banner and the footer; a numbered row is its number, alone or followed by a gap.
    # A page without rows counts 0 (grep then finds nothing and says so by its status).
    text=$(sed -n '/SOURCE CODE/,$p' <<<"$text" | sed '1d' | grep -v -E ' Page [0-9]+$' | grep -v -E '^[[:space:]]*$' || true)
    printf 'page %d: %d rows, lines %s\n' "$p" "$(grep -c . <<<"$text")" \
      "$(sed -n -E 's/^ *([0-9]+)( {2,}.*)?$/\1/p' <<<"$text" | tr '\n' ' ')"
  done
}

# Every word of the PDF $1 lies inside the printable area of US Letter.
expect_inside_letter_area() {
  local outside
  # awk stops reading after three words outside, so pdftotext may end by SIGPIPE: no status check.
  outside=$(set +o pipefail; pdftotext -bbox "$1" - | awk -F'"' -v m="$letter_margin" '
    /<word / && ($2 < m - 0.5 || $4 < m - 0.5 || $6 > 612 - m + 0.5 || $8 > 792 - m + 0.5) { print; n++ }
    n >= 3 { exit }')
  [ -z "$outside" ] || fail "text outside the printable area: $outside"
}

# Where the page number of the first page ends, in points from the left edge of the sheet: the
# right end of the lowest line of text.
page_number_right_edge() {
  pdftotext -bbox -f 1 -l 1 "$1" - | awk -F'"' '
    /<word / { top[++n] = $4; right[n] = $6; if ($4 > lowest) lowest = $4 }
    END {
      for (i = 1; i <= n; i++) if (top[i] > lowest - 1 && right[i] > edge) edge = right[i]
      print edge
    }'
}

export QT_QPA_PLATFORM=xcb
selection=""

start_xvfb
note "X server on $DISPLAY"
start_cups
start_ipp_printer "$avahi_stub"
add_ipp_queue "$queue"
note "print server at $CUPS_SERVER, default queue $queue on the IPP printer at port $printer_port"

case $case_name in
  one-page)
    write_copy 20
    open_print_dialog
    close_print_dialog Return
    expect_printer_job 1 "" ""
    expect_furniture 1
    expect_text "Value001 = 1 ; line 1 of the listing"
    expect_text "Value020 = 20 ; line 20 of the listing"
    expect_silence
    ;;
  two-pages)
    write_copy 71
    open_print_dialog
    close_print_dialog Return
    expect_printer_job 2 "" ""
    expect_furniture 2
    expect_page_text 1 "Value070 = 70"
    expect_page_text 2 "Value071 = 71"
    # The full header repeats on every page by default.
    [ "$(grep -c -F "Demo Program.pb" "$harness_root/job.txt")" -eq 2 ] ||
      fail "the file name is not printed on both pages"
    ;;
  large)
    write_settings 0 1
    write_copy 53
    open_print_dialog
    close_print_dialog Return
    expect_printer_job 2 "" ""
    expect_furniture 2
    expect_page_text 1 "Value052 = 52"
    expect_page_text 2 "Value053 = 53"
    ;;
  first-page)
    write_settings 1 0
    write_copy 147
    open_print_dialog
    close_print_dialog Return
    expect_printer_job 2 "" ""
    expect_furniture 2
    expect_page_text 1 "Value070 = 70"
    expect_page_text 2 "Value071 = 71"
    expect_page_text 2 "Value147 = 147"
    [ "$(grep -c -F "Demo Program.pb" "$harness_root/job.txt")" -eq 1 ] ||
      fail "the file name is printed on more than the first page"
    ;;
  selection)
    write_copy 100
    selection=3x1x5x4
    open_print_dialog
    close_print_dialog Return
    expect_printer_job 1 "" ""
    expect_furniture 1
    expect_text "Value003 = 3"
    expect_text "Value005 = 5"
    expect_no_text "Value002"
    expect_no_text "Value006"
    ;;
  letter)
    [ -x "$folivane_pdf" ] || fail "no program at $folivane_pdf (build the target folivane-pdf)"
    [ -r "$sample" ] || fail "no sample at $sample"
    mkdir -p "$(dirname "$copy_file")" "$source_dir"
    cp "$sample" "$copy_file"
    cp "$sample" "$source_path"
    open_print_dialog
    close_print_dialog Return
    PAPERSIZE=a4 "$folivane_pdf" --source-name "$source_path" "$sample" "$harness_root/a4.pdf" ||
      fail "folivane-pdf could not print the sample"
    pages=$(pdfinfo "$harness_root/a4.pdf" | sed -n 's/^Pages: *//p') || fail "pdfinfo could not read folivane-pdf's PDF"
    expect_printer_job "$pages" "" ""
    expect_furniture "$pages"
    expect_inside_letter_area "$job_file"
    # The page number ends at layout x 192: 192 x 47 device pixels at 1200 dpi from the left edge
    # of Letter's printable area (9600 pixels wide, 47 per layout unit).
    edge=$(page_number_right_edge "$job_file") || fail "pdftotext could not read the printed PDF's words"
    note "page number ends at $edge pt"
    awk -v e="$edge" -v m="$letter_margin" 'BEGIN { want = m + 192 * 47 * 72 / 1200; exit !(e > want - 1 && e < want + 1) }' ||
      fail "the page number ends at $edge pt, not on Letter's grid"
    lines_per_page "$harness_root/a4.pdf" >"$harness_root/a4-lines.txt"
    lines_per_page "$job_file" >"$harness_root/letter-lines.txt"
    sed 's/lines .*//' "$harness_root/letter-lines.txt"
    diff "$harness_root/a4-lines.txt" "$harness_root/letter-lines.txt" >&2 ||
      fail "the lines on the Letter pages differ from folivane-pdf's A4 pages"
    ;;
  collated | uncollated)
    write_copy 71
    open_print_dialog
    press "${to_copies[@]}" 2
    if [ "$case_name" = uncollated ]; then press Tab space; fi
    close_print_dialog Return
    expect_printer_job 2 2 "separate-documents-$case_name-copies"
    expect_page_text 2 "Value071 = 71"
    ;;
  page-range)
    write_copy 150
    open_print_dialog
    press "${to_pages_from[@]}" Tab 2 Tab 3
    close_print_dialog Return
    expect_printer_job 2 "" ""
    expect_page_text 1 "Page 2"
    expect_page_text 1 "Value071 = 71"
    expect_page_text 2 "Page 3"
    expect_page_text 2 "Value150 = 150"
    expect_no_text "Value070 ="
    ;;
  refused)
    write_copy 20
    export QT_LOGGING_RULES="folivane.print=true"
    open_print_dialog
    timeout 20 cupsreject "$queue" || fail "cupsreject could not stop the queue"
    close_print_dialog Return
    expect_no_printer_job
    [ -z "$(lpstat -o "$queue" 2>/dev/null)" ] || fail "the queue holds a job"
    grep -q -F "folivane.print: printer \"$queue\" refused the job" "$harness_root/app.log" ||
      fail "no diagnostic of the refusal: $(cat "$harness_root/app.log")"
    note "diagnostic: $(grep refused "$harness_root/app.log")"
    ;;
  to-file)
    write_copy 20
    export QT_LOGGING_RULES="folivane.print=true"
    open_print_dialog
    # "Print to File (PDF)" ends the printer list, which has the focus.
    press End
    close_print_dialog Return
    expect_no_printer_job
    ! grep -q refused "$harness_root/app.log" || fail "a written PDF is reported refused: $(cat "$harness_root/app.log")"
    pdf=$(sed -n 's/^folivane\.print: PDF "\(.*\)" written$/\1/p' "$harness_root/app.log")
    [ -n "$pdf" ] || fail "no diagnostic of the written PDF: $(cat "$harness_root/app.log")"
    job_file=$pdf
    [ "$(pdfinfo "$job_file" | sed -n 's/^Pages: *//p')" = 1 ] || fail "$pdf is no 1-page PDF"
    note "diagnostic: $(grep written "$harness_root/app.log")"
    ;;
  printer-gone)
    write_copy 20
    open_print_dialog
    stop_ipp_printer
    close_print_dialog Return
    jobs=$(list_jobs not-completed "$queue") || fail "the queue's job list could not be read"
    note "jobs waiting in the queue: $jobs"
    [ "$(grep -c '|PureBasic - Folivane$' <<<"$jobs")" -eq 1 ] || fail "the job is not waiting in the queue"
    expect_silence
    ;;
  cancel)
    write_copy 20
    open_print_dialog
    close_print_dialog Escape
    sleep 1
    jobs=$(list_jobs all "$queue") || fail "the job list could not be read"
    [ -z "$jobs" ] || fail "a cancelled dialog left jobs: $jobs"
    expect_no_printer_job
    note "no job after Escape"
    ;;
  empty-source)
    mkdir -p "$(dirname "$copy_file")"
    printf '; IDE Options = %s\n; EnableXP\n' "$ide_version" >"$copy_file"
    start_app "$folivane" "$copy_file" "$source_path" ""
    wait_for_app_exit 20
    [ ! -e "$copy_file" ] || fail "the temporary copy was not deleted"
    [ -z "$(list_jobs all "$queue")" ] || fail "an empty source made a job"
    expect_no_printer_job
    note "no dialog and no job for an empty source"
    ;;
  *) fail "unknown case $case_name" ;;
esac
[ ! -e "$copy_file" ] || fail "the temporary copy was not deleted"
note "exit code: $app_status"
[ "$app_status" -eq 0 ] || fail "exit code $app_status, not 0"
note "PASS $case_name"
