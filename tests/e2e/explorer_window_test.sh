#!/usr/bin/env bash
# The explorer in a real window on a virtual X server: opened from the main
# window's menu, it shows smooth colour; the 17 bands chosen in its 配色 menu
# colour the same counts at once, and a hundred wheel notches are steered
# along the set's boundary by them; back in smooth colour its view is exported
# at 1000 pixels through the export dialog. The PNG must be the renderer's
# --deep picture of the location and colouring the PNG records, show at least
# three colours, and that location must be a hundred halvings below the main
# window's side of 0.5.
# Usage: explorer_window_test.sh PROGRAM RENDERER HELPER
set -euo pipefail

program=$1 renderer=$2 helper=$3

source "$(dirname "$0")/../common/window_test_lib.sh"
on_virtual_x "$0" "$@"

work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# fail, wait_for (bounded), find_window, menu_item

mkdir -p "$work/home/Pictures"
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" "$program" &
pid=$!
wait_for "the main window" find_window
xdotool windowfocus --sync "$window"
xdotool key Return  # draws the start region: the explorer's item is on
sleep 1

find_explorer() { explorer=$(xdotool search --onlyvisible --name '^探索ウィンドウ$' 2>/dev/null | head -n1) && [ -n "$explorer" ]; }
menu_item f w "opening the explorer" find_explorer
xdotool windowfocus --sync "$explorer"

# A hundred notches in twenty groups, each zooming in by two per notch about
# a boundary pixel of the picture the previous group left, so that the view
# stays on the set's edge rather than in one colour. Five notches (×32) keep
# that pixel's neighbourhood inside the next view; a small window keeps each
# drawing short (the export's size does not depend on it).
xdotool windowsize --sync "$explorer" 400 480
xdotool windowraise "$explorer"  # the grabs show what lies on top of it
opened="$work/opened.png"
"$helper" settle "$explorer" "$opened" || fail "the opening picture did not settle"
# Smooth colour: no neighbourhood of the window's 17 colours.
! "$helper" boundary "$opened" >/dev/null 2>&1 || fail "the explorer opened in the 17 bands"
# The bands colour the counts on the view: the steering below reads them.
menu_item c b "choosing the bands" true
shot="$work/group0.png"
"$helper" settle "$explorer" "$shot" "$opened" || fail "the picture in bands did not settle"
for group in $(seq 1 20); do
  read -r x y < <("$helper" boundary "$shot") || fail "group $group: no boundary in the picture"
  xdotool mousemove --window "$explorer" "$x" "$y"
  xdotool click --repeat 5 --delay 20 4
  next="$work/group$group.png"
  "$helper" settle "$explorer" "$next" "$shot" || fail "group $group: the picture did not settle"
  shot=$next
done

# Smooth colour again, from the same counts, for the export.
menu_item c s "choosing smooth colour" true
"$helper" settle "$explorer" "$work/smooth.png" "$shot" || fail "the picture in smooth colour did not settle"
! "$helper" boundary "$work/smooth.png" >/dev/null 2>&1 || fail "smooth colour chosen, the view still shows bands"

export_dialog() { xdotool search --onlyvisible --name '^画像エクスポート$' >/dev/null 2>&1; }
menu_item f x "the export dialog" export_dialog
exported="$work/explored.png"
xdotool key --clearmodifiers alt+z ctrl+a
xdotool type 1000
xdotool key --clearmodifiers alt+f ctrl+a
xdotool type "$exported"
xdotool key --clearmodifiers alt+o

# The export runs as long as its drawing takes: its progress window stays
# until the file is complete (or the export failed, which a message says).
exporting() { xdotool search --onlyvisible --name '^画像エクスポート$' >/dev/null 2>&1; }
wait_for "the export's file or its progress" eval '[ -e "$exported" ] || exporting'
while [ ! -e "$exported" ] && exporting; do
  kill -0 "$pid" 2>/dev/null || fail "the program ended during the export"
  sleep 0.2
done
wait_for "the exported file" test -e "$exported"

args=$("$helper" location "$exported") || fail "the PNG records no location"
echo "recorded: $args"
[[ "$args" == *" --colouring smooth "* ]] || fail "the export is not in smooth colour: $args"
# 0.5 / 2^100 = 3.9443045261050590270586428264139...e-31
side=$(echo "$args" | awk '{print $8}')
[[ "$side" == 3.9443045261050590270* && "$side" == *e-31 ]] || fail "side $side is not 0.5 / 2^100"
[[ "$args" == "--deep --size 1000x"* || "$args" == "--deep --size "*"x1000 "* || "$args" == "--deep --size 1000 "* ]] ||
  fail "the picture is not 1000 pixels on its longer side: $args"
# shellcheck disable=SC2086  # the arguments are words without spaces
"$renderer" $args --png "$work/renderer.png" >/dev/null
same=$("$helper" same "$exported" "$work/renderer.png") || fail "the export is not the renderer's picture of $args"
echo "$same"
colours=$(echo "$same" | awk '{print $(NF-1)}')
(( colours >= 3 )) || fail "the export shows $colours colours: the steering lost the boundary"

kill -TERM "$pid"
wait "$pid" || true
pid=
echo "explorer window: opened from the menu, 100 steered wheel notches, exported 1000 px, the renderer's picture"
