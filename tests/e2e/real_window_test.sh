#!/usr/bin/env bash
# Drives the real program in a window on a virtual X server, as a user would:
# a preset, the start button, File > Save through the keyboard, a square
# dragged on the picture, File > Exit.
# Usage: real_window_test.sh PROGRAM RENDERER HELPER [SCREENSHOT.png]
# (Runs itself under xvfb-run when no display is given.)
set -euo pipefail

program=$1 renderer=$2 helper=$3 screenshot=${4:-}

if [ -z "${MANDEL_E2E_INSIDE_X:-}" ]; then
  export MANDEL_E2E_INSIDE_X=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
unset QT_QPA_PLATFORM  # a real X window, not the offscreen platform

work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# Bounded polling: every wait below gives up after about ten seconds.
wait_for() {
  local what=$1
  shift
  for _ in $(seq 1 100); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  fail "timed out waiting for $what"
}

# The program saves next to its executable: run a copy in a scratch folder.
cp "$program" "$work/mandelbrot"
"$work/mandelbrot" &
pid=$!

find_window() { window=$(xdotool search --onlyvisible --class mandelbrot 2>/dev/null | head -n1) && [ -n "$window" ]; }
wait_for "the main window" find_window
eval "$(xdotool getwindowgeometry --shell "$window")"  # WIDTH, HEIGHT
# The client area (756 × 465 pixels) sits below the menu bar.
client_top=$((HEIGHT - 465))
[ "$WIDTH" -eq 756 ] || fail "window width $WIDTH, expected 756"

click() {  # click at the centre of a control given in client pixels: left top width height
  xdotool mousemove --window "$window" $(( $1 + $3 / 2 )) $(( client_top + $2 + $4 / 2 )) click 1
}
xdotool windowfocus --sync "$window"

click 478 323 84 26   # sample1 (btbsa1)
click 478 399 85 57   # start drawing (btnstart)
sleep 0.5

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
save_through_menu
name=$(basename "$saved")
[[ "$name" =~ ^M_sample([0-9]|[1-5][0-9])\.bmp$ ]] || fail "unexpected file name $name"
minute=$(date +%-M)
previous=$(( (minute + 59) % 60 ))
[ "$name" = "M_sample$minute.bmp" ] || [ "$name" = "M_sample$previous.bmp" ] ||
  fail "$name is not named after the current minute ($minute)"
sleep 0.3  # let the writer finish the file

"$renderer" --bmp "$work/reference.bmp" -0.75 -0.275 0.05 106 >/dev/null
"$helper" compare "$saved" "$work/reference.bmp" || fail "the saved picture differs from the renderer's"

# Drag a square on the picture: it becomes the region and is drawn at once.
# Pic1 sits at (9, 3) in the client area and shows the 500-unit square on
# 453 pixels: pixels 100..200 across of the region -0.75 .. -0.70 give
# real -0.75 + 100/453 · 0.05 = -0.73896, and likewise down; a side of
# 100/453 · 0.05 = 0.011038; each rounded to the bars' step of 0.0001.
rm -f "$saved"
pic() { echo $(( 9 + $1 )) $(( client_top + 3 + $2 )); }
xdotool mousemove --window "$window" $(pic 100 100) mousedown 1
for step in 120 150 180; do xdotool mousemove --window "$window" $(pic $((step + 20)) "$step"); done
xdotool mouseup 1
sleep 0.5
save_through_menu
sleep 0.3
"$renderer" --bmp "$work/zoomed.bmp" -0.739 -0.264 0.011 106 >/dev/null
"$helper" compare "$saved" "$work/zoomed.bmp" || fail "the dragged square was not drawn as the new region"

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
echo "real window: preset, start, save ($name), drag to zoom and exit all worked"
