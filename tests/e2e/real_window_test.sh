#!/usr/bin/env bash
# Drives the real program in a window on a virtual X server, as a user would:
# keys at start-up, a preset, the start button, File > Save through the
# keyboard, clicks, a square dragged on the picture, the wheel, Backspace, the
# mouse's back button, File > Exit. Each picture is checked through a saved
# file against the headless renderer.
# Usage: real_window_test.sh PROGRAM RENDERER HELPER [SCREENSHOT.png]
# With MANDEL_E2E_WM=openbox the window manager runs too and frames the window.
# (Runs itself under xvfb-run when no display is given.)
set -euo pipefail

program=$1 renderer=$2 helper=$3 screenshot=${4:-}

source "$(dirname "$0")/../common/window_test_lib.sh"
on_virtual_x "$0" "$@"

work=$(mktemp -d)
pid=
wm_pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# fail, wait_for (bounded), find_window

if [ -n "${MANDEL_E2E_WM:-}" ]; then
  "$MANDEL_E2E_WM" >"$work/wm.log" 2>&1 &
  wm_pid=$!
  wm_running() { xdotool search --classname "$MANDEL_E2E_WM" >/dev/null 2>&1; }
  wait_for "the window manager" wm_running
fi

# The program saves next to its executable: run a copy in a scratch folder.
cp "$program" "$work/mandelbrot"
"$work/mandelbrot" &
pid=$!

wait_for "the main window" find_window
eval "$(xdotool getwindowgeometry --shell "$window")"  # WIDTH, HEIGHT (its X and Y miss a frame)
# The client area (756 × 465 pixels) sits below the menu bar.
client_top=$((HEIGHT - 465))
[ "$WIDTH" -eq 756 ] || fail "window width $WIDTH, expected 756"

# Centred on the screen, frame included: the margins around what is drawn on
# the empty screen agree within a pixel. A window manager frames the window
# after it has appeared, and the program centres it again then.
centred() {
  read -r left right top bottom <<<"$("$helper" margins)"
  [ $(( left - right )) -le 1 ] && [ $(( right - left )) -le 1 ] &&
    [ $(( top - bottom )) -le 1 ] && [ $(( bottom - top )) -le 1 ]
}
framed() { [ $(( 1024 - top - bottom )) -gt "$HEIGHT" ]; }
if [ -n "${MANDEL_E2E_WM:-}" ]; then
  wait_for "the window manager's frame, centred" eval 'centred && framed'
fi
centred || fail "not centred: margins left $left right $right top $top bottom $bottom"

click() {  # click at the centre of a control given in client pixels: left top width height
  xdotool mousemove --window "$window" $(( $1 + $3 / 2 )) $(( client_top + $2 + $4 / 2 )) click 1
}
pic() { echo $(( 9 + $1 )) $(( client_top + 3 + $2 )); }
xdotool windowfocus --sync "$window"

# An item of the File menu through the keyboard: Alt+F opens the menu, the
# item's key chooses it, until the check holds. A key pressed before the menu
# has opened is lost, so this tries a few times.
file_menu() {  # file_menu KEY WHAT CHECK...
  local key=$1 what=$2
  shift 2
  for _ in 1 2 3; do
    xdotool key --clearmodifiers alt+f
    sleep 0.5
    xdotool key "$key"
    for _ in $(seq 1 30); do "$@" && return 0; sleep 0.1; done
    xdotool key Escape
  done
  fail "File menu: $what did not happen"
}
saved_file() { saved=$(ls "$work"/M_sample*.bmp 2>/dev/null | head -n1) && [ -n "$saved" ]; }
save_through_menu() { file_menu s "saving M_sample*.bmp" saved_file; }

# Saves the picture and checks it against the renderer's picture of a region.
expect_picture() {  # expect_picture WHAT REAL IMAG SIDE LIMIT
  local what=$1
  shift
  sleep 0.5
  rm -f "$work"/M_sample*.bmp
  save_through_menu
  sleep 0.3  # let the writer finish the file
  "$renderer" --bmp "$work/reference.bmp" "$@" >/dev/null
  "$helper" compare "$saved" "$work/reference.bmp" || fail "$what: the picture is not the region $*"
}

# The picture has the focus at start-up: an arrow key moves no scroll bar,
# and Enter draws the start values.
xdotool key Right Return
expect_picture "start-up keys" -1.1507 -0.4793 0.5 100
name=$(basename "$saved")
[[ "$name" =~ ^M_sample([0-9]|[1-5][0-9])\.bmp$ ]] || fail "unexpected file name $name"
minute=$(date +%-M)
previous=$(( (minute + 59) % 60 ))
[ "$name" = "M_sample$minute.bmp" ] || [ "$name" = "M_sample$previous.bmp" ] ||
  fail "$name is not named after the current minute ($minute)"

click 478 323 84 26   # sample1 (btbsa1)
click 478 399 85 57   # start drawing (btnstart)
expect_picture "sample1" -0.75 -0.275 0.05 106

# Presses and releases one and two pixels apart are clicks, not zooms.
for by in 1 2; do
  xdotool mousemove --window "$window" $(pic 100 100) mousedown 1
  xdotool mousemove --window "$window" $(pic $((100 + by)) 100) mouseup 1
done
expect_picture "clicks on the picture" -0.75 -0.275 0.05 106

# Drag a square on the picture: it becomes the region and is drawn at once.
# Pic1 sits at (9, 3) in the client area and shows the 500-unit square on
# 453 pixels: pixels 100..200 across of the region -0.75 .. -0.70 give
# real -0.75 + 100/453 · 0.05 = -0.73896, and likewise down; a side of
# 100/453 · 0.05 = 0.011038; each rounded to the bars' step of 0.0001.
xdotool mousemove --window "$window" $(pic 100 100) mousedown 1
for step in 120 150 180; do xdotool mousemove --window "$window" $(pic $((step + 20)) "$step"); done
xdotool mouseup 1
expect_picture "the dragged square" -0.739 -0.264 0.011 106

# A wheel notch at pixel (226, 226) halves the side about that point
# (226/453 of 0.011 = 0.005488 from the edges, 0.002744 after), then
# Backspace goes back, as the notch gave the picture the focus.
xdotool mousemove --window "$window" $(pic 226 226) click 4
expect_picture "a wheel notch" -0.7363 -0.2613 0.0055 106
xdotool key BackSpace
expect_picture "Backspace after the wheel" -0.739 -0.264 0.011 106

# The mouse's back button over a scroll bar (Hbar2) goes back too.
xdotool mousemove --window "$window" 600 $(( client_top + 105 )) click 8
expect_picture "the back button" -0.75 -0.275 0.05 106

if [ -n "$screenshot" ]; then
  eval "$(xdotool getwindowgeometry --shell "$window")"
  "$helper" grab "$screenshot" "$X" "$Y" "$WIDTH" "$HEIGHT"
fi

exited() { ! kill -0 "$pid" 2>/dev/null; }
file_menu e "ending the program" exited
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || fail "the program exited with status $status"

# SIGTERM while a large export is being written ends the program cleanly and
# leaves nothing in the Pictures folder: once with the unnamed file, once
# with the hidden temporary file that other file systems get.
pictures="$work/home/Pictures"
mkdir -p "$pictures"
export_dialog() { xdotool search --onlyvisible --name '^画像エクスポート$' >/dev/null 2>&1; }
writing_export() { ls -l "/proc/$pid/fd" 2>/dev/null | grep -qF -- "$pictures/"; }
# Right after a program killed in the middle of a large export, the virtual
# X server now and then refuses the next one's connection for a moment (it
# then aborts at once: "could not connect to display"): such a start is
# tried again once the display answers.
window_or_gone() { find_window || ! kill -0 "$pid" 2>/dev/null; }
for mode in unnamed named; do
  seam=
  [ "$mode" = named ] && seam=MANDEL_NAMED_TEMPORARY_FILES=1
  for _ in 1 2 3; do
    wait_for "the display" xdotool getdisplaygeometry
    HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" env $seam "$work/mandelbrot" &
    pid=$!
    wait_for "the main window ($mode)" window_or_gone
    if find_window; then break; fi
    wait "$pid" || true
    pid=
    sleep 1
  done
  [ -n "$pid" ] || fail "the program did not start ($mode)"
  xdotool windowfocus --sync "$window"
  xdotool key Return  # a drawn picture makes File > Export available
  sleep 1
  file_menu x "the export dialog" export_dialog
  xdotool key --clearmodifiers alt+z ctrl+a
  xdotool type 32000
  xdotool key --clearmodifiers alt+o
  wait_for "the export writing its file ($mode)" writing_export
  during=$(ls -A "$pictures")
  if [ "$mode" = named ] && [ -z "$during" ]; then fail "no hidden temporary file while exporting"; fi
  kill -TERM "$pid"
  status=0
  wait "$pid" || status=$?
  pid=
  left=$(ls -A "$pictures")
  echo "SIGTERM during an export ($mode): status $status, while writing: [$during], left: [$left]"
  [ "$status" -eq 0 ] || fail "SIGTERM during an export: status $status"
  [ -z "$left" ] || fail "SIGTERM during an export left: $left"
done

echo "real window${MANDEL_E2E_WM:+ with $MANDEL_E2E_WM}: centred; start-up keys, preset, start, save ($name), clicks, drag, wheel, Backspace, back button, exit and SIGTERM during an export all worked"
