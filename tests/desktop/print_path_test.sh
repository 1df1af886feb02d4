#!/usr/bin/env bash
# The print road on a real X server and a private CUPS server: the IDE's temporary copy is read
# and deleted, the print dialog is answered from the keyboard, and the job that reaches the queue
# is checked as a PDF (page count, text) and by its name.
# Usage: print_path_test.sh FOLIVANE CASE
#   CASE: one-page      20 lines, default settings: one page
#         two-pages     71 lines, default settings: the 71st row starts page 2
#         large         53 lines with FontSize 0: the Large profile holds 52 rows per page
#         first-page    147 lines with PageHeader 0: 70 rows, then 77 under a banner-only page
#         selection     100 lines, selection 3x1x5x4: lines 3 to 5 only
#         cancel        Escape in the print dialog: no job, no output
#         empty-source  only the IDE options block: no dialog, no job
set -euo pipefail
folivane=$1
case_name=$2
source "$(dirname "$0")/harness.sh"
[ -x "$folivane" ] || fail "no program at $folivane (build the target folivane)"

queue=FolivaneTest
job_file=$harness_root/out/job.pdf
source_dir=$harness_root/source
copy_file=$harness_root/ide-temp/PB_EditorOutput.pb
source_path="$source_dir/Demo Program.pb"
ide_version="PureBasic 6.10 LTS (Linux - x64)"

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

# Starts the program as the IDE does, waits for the print dialog and answers it with key $1
# (Return prints, Escape cancels).
answer_print_dialog() {
  local key=$1
  start_app "$folivane" "$copy_file" "$source_path" "$selection"
  dialog=$(find_window Print 20)
  [ -n "$dialog" ] || fail "no window titled \"Print\" appeared within 20 seconds"
  note "print dialog found: id $dialog"
  [ ! -e "$copy_file" ] || fail "the temporary copy still exists while the print dialog is shown"
  note "temporary copy deleted before the dialog showed"
  timeout 10 xdotool windowfocus --sync "$dialog" || fail "the print dialog did not take the focus"
  xdotool key "$key" || fail "could not press $key"
  wait_for_app_exit 30
}

# Waits for the queue to finish and checks that it holds exactly one completed job with the
# tool's name, and that the job's PDF has $1 pages of A4.
expect_one_job() {
  local pages=$1
  wait_for_idle_queue "$queue" 30 || fail "the queue did not finish its jobs within 30 seconds"
  local jobs
  jobs=$(list_jobs all "$queue") || fail "the job list could not be read"
  note "jobs: ${jobs//$'\n'/; }"
  [ "$(grep -c . <<<"$jobs")" -eq 1 ] || fail "expected one job, found: $jobs"
  local state=${jobs#*|}
  state=${state%%|*}
  [ "$state" = completed ] || fail "the job ended $state"
  [ "${jobs##*|}" = "PureBasic - Folivane" ] || fail "the job is named \"${jobs##*|}\""
  [ -s "$job_file" ] || fail "the queue wrote no PDF"
  local info found
  info=$(pdfinfo "$job_file") || fail "the queued file is no readable PDF"
  found=$(sed -n 's/^Pages: *//p' <<<"$info")
  note "page count: $found"
  [ "$found" = "$pages" ] || fail "the job has $found pages, not $pages"
  grep -q '^Page size: *595\(\.[0-9]*\)\? x 842\(\.[0-9]*\)\? pts' <<<"$info" ||
    fail "the pages are not A4: $(grep '^Page size' <<<"$info")"
  pdftotext -layout "$job_file" "$harness_root/job.txt" || fail "pdftotext could not read the PDF"
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

export QT_QPA_PLATFORM=xcb
selection=""

start_xvfb
note "X server on $DISPLAY"
start_cups
add_pdf_queue "$queue" "$job_file"
note "print server at $CUPS_SERVER, default queue $queue"

case $case_name in
  one-page)
    write_copy 20
    answer_print_dialog Return
    expect_one_job 1
    expect_furniture 1
    expect_text "Value001 = 1 ; line 1 of the listing"
    expect_text "Value020 = 20 ; line 20 of the listing"
    ;;
  two-pages)
    write_copy 71
    answer_print_dialog Return
    expect_one_job 2
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
    answer_print_dialog Return
    expect_one_job 2
    expect_furniture 2
    expect_page_text 1 "Value052 = 52"
    expect_page_text 2 "Value053 = 53"
    ;;
  first-page)
    write_settings 1 0
    write_copy 147
    answer_print_dialog Return
    expect_one_job 2
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
    answer_print_dialog Return
    expect_one_job 1
    expect_furniture 1
    expect_text "Value003 = 3"
    expect_text "Value005 = 5"
    expect_no_text "Value002"
    expect_no_text "Value006"
    ;;
  cancel)
    write_copy 20
    answer_print_dialog Escape
    sleep 1
    jobs=$(list_jobs all "$queue") || fail "the job list could not be read"
    [ -z "$jobs" ] || fail "a cancelled dialog left jobs: $jobs"
    [ ! -e "$job_file" ] || fail "a cancelled dialog wrote output"
    note "no job after Escape"
    ;;
  empty-source)
    mkdir -p "$(dirname "$copy_file")"
    printf '; IDE Options = %s\n; EnableXP\n' "$ide_version" >"$copy_file"
    start_app "$folivane" "$copy_file" "$source_path" ""
    wait_for_app_exit 20
    [ ! -e "$copy_file" ] || fail "the temporary copy was not deleted"
    [ -z "$(list_jobs all "$queue")" ] || fail "an empty source made a job"
    note "no dialog and no job for an empty source"
    ;;
  *) fail "unknown case $case_name" ;;
esac
note "exit code: $app_status"
[ "$app_status" -eq 0 ] || fail "exit code $app_status, not 0"
note "PASS $case_name"
