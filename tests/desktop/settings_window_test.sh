#!/usr/bin/env bash
# The settings window on a real X server: clicks on its options and its Save button, or a close
# request, and the settings file they leave behind.
# Usage: settings_window_test.sh FOLIVANE CLOSE_REQUEST CASE
#   CASE: save-large         no settings file; Large, Save: FontSize 0, PageHeader 1
#         save-loaded        settings 0 and 0 are shown checked; Save writes them back unchanged
#         save-regular-first settings 0 and 1; Regular, First Page, Save: FontSize 1, PageHeader 0
#         close-unchanged    settings 1 and 1; Large, First Page, then a close request: file untouched
#         close-no-file      no settings file; Large, then a close request: still no file
#         keyboard           no settings file; Tab visits Regular, Large, Every Page, First Page,
#                            Save; Space on Large, First Page and Save: FontSize 0, PageHeader 0
set -euo pipefail
folivane=$1
close_request=$2
case_name=$3
source "$(dirname "$0")/harness.sh"
[ -x "$folivane" ] || fail "no program at $folivane (build the target folivane)"
[ -x "$close_request" ] || fail "no program at $close_request (build folivane_close_request)"

# Client-area points inside the controls of the 230 x 153 window: the options are hit near their
# round button, where every toolkit takes a click, not only on the far part of their rectangle.
regular_point=(28 57)
large_point=(123 57)
every_page_point=(28 102)
first_page_point=(123 102)
save_point=(190 140)

settings_bytes() {
  printf '\xef\xbb\xbf\r\n[Settings]\r\nFontSize = %s\r\nPageHeader = %s\r\n' "$1" "$2"
}

click() {
  local x=$1 y=$2
  # A separate click goes through the XTEST extension like a real one; chained after mousemove
  # it would be a synthetic event sent to the window, which toolkits may ignore.
  xdotool mousemove --sync --window "$window" "$x" "$y" || fail "could not move the pointer to $x,$y"
  xdotool click 1 || fail "could not click at $x,$y"
  # Nothing reports when the program has handled the click; a short pause keeps the order.
  sleep 0.2
}

expect_file_bytes() {
  local expected=$harness_root/expected.ini
  cat >"$expected"
  [ -f "$settings_file" ] || fail "no settings file was written"
  if ! cmp -s "$expected" "$settings_file"; then
    echo "expected:" >&2; od -c "$expected" >&2
    echo "found:" >&2; od -c "$settings_file" >&2
    fail "the settings file holds other bytes"
  fi
  note "file bytes: $(od -An -tx1 "$settings_file" | tr -s ' \n' ' ')"
}

settings_file=$XDG_CONFIG_HOME/Folivane.ini
# The program must use the X server, not the offscreen platform of the unit tests.
export QT_QPA_PLATFORM=xcb

case $case_name in
  save-loaded) settings_bytes 0 0 >"$settings_file" ;;
  save-regular-first) settings_bytes 0 1 >"$settings_file" ;;
  close-unchanged) settings_bytes 1 1 >"$settings_file" ;;
  save-large | close-no-file | keyboard) ;;
  *) fail "unknown case $case_name" ;;
esac
if [ -f "$settings_file" ]; then
  cp -p "$settings_file" "$harness_root/before.ini"
  # An older time stamp shows whether the file was written again, even with the same bytes.
  touch -d '2001-01-01 00:00:00' "$settings_file" "$harness_root/before.ini"
fi

start_xvfb
note "X server on $DISPLAY"
start_app "$folivane"
window=$(find_window Folivane 15)
[ -n "$window" ] || fail "no window titled \"Folivane\" appeared within 15 seconds"
eval "$(xdotool getwindowgeometry --shell "$window")"
note "window found: id $window, $WIDTH x $HEIGHT at $X,$Y"
if [ "$WIDTH" != 230 ] || [ "$HEIGHT" != 153 ]; then
  fail "client area is $WIDTH x $HEIGHT, not 230 x 153"
fi
# Without a window manager there is no frame, so the outer size is the client size.
read -r screen_width screen_height < <(xdpyinfo | sed -n 's/^ *dimensions: *\([0-9]*\)x\([0-9]*\) pixels.*/\1 \2/p')
if [ "$X" != $(((screen_width - 230) / 2)) ] || [ "$Y" != $(((screen_height - 153) / 2)) ]; then
  fail "the window is at $X,$Y, not centred on the $screen_width x $screen_height screen"
fi

case $case_name in
  save-large)
    click "${large_point[@]}"
    click "${save_point[@]}"
    wait_for_app_exit 15
    expect_file_bytes < <(settings_bytes 0 1)
    ;;
  save-loaded)
    click "${save_point[@]}"
    wait_for_app_exit 15
    expect_file_bytes < <(settings_bytes 0 0)
    [ "$settings_file" -nt "$harness_root/before.ini" ] || fail "Save did not write the file again"
    ;;
  save-regular-first)
    click "${regular_point[@]}"
    click "${first_page_point[@]}"
    click "${save_point[@]}"
    wait_for_app_exit 15
    expect_file_bytes < <(settings_bytes 1 0)
    ;;
  keyboard)
    timeout 10 xdotool windowfocus --sync "$window" || fail "the window did not take the focus"
    for key in Tab Tab space Tab Tab space Tab space; do
      xdotool key "$key" || fail "could not press $key"
      sleep 0.1
    done
    wait_for_app_exit 15
    expect_file_bytes < <(settings_bytes 0 0)
    ;;
  close-unchanged | close-no-file)
    click "${large_point[@]}"
    click "${first_page_point[@]}"
    click "${every_page_point[@]}"
    click "${first_page_point[@]}"
    process_alive "$app_pid" || fail "clicking the options ended the program"
    "$close_request" "$window" || fail "the close request could not be sent"
    wait_for_app_exit 15
    if [ "$case_name" = close-no-file ]; then
      [ ! -e "$settings_file" ] || fail "closing the window wrote a settings file"
      note "no settings file after closing"
    else
      cmp -s "$harness_root/before.ini" "$settings_file" || fail "closing the window changed the file"
      [ ! "$settings_file" -nt "$harness_root/before.ini" ] || fail "closing the window rewrote the file"
      note "settings file untouched after closing"
    fi
    ;;
esac
note "exit code: $app_status"
[ "$app_status" -eq 0 ] || fail "exit code $app_status, not 0"
note "PASS $case_name"
