#!/usr/bin/env bash
# The explorer's find gesture in a real window on a virtual X server: opened
# with `--explore` at a typed deep point, 移動 → 中心に近いミニブロへ at the
# view's centre must take the view to the minibrot that mandelbrot-find names
# for the same disc (centred on its nucleus, a side of four times its size, a
# limit of at least eight times its period), and the status line must say so.
# The location and the status line are read through the clipboard
# (編集 → 位置のコピー, 状態行のコピー).
# Usage: explorer_find_test.sh PROGRAM FINDER HELPER
set -euo pipefail

program=$1 finder=$2 helper=$3

source "$(dirname "$0")/../common/window_test_lib.sh"
on_virtual_x "$0" "$@"

work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && { kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; } || true
  rm -rf "$work"
}
trap cleanup EXIT

# A square view about i at a side of 1e-30 (typed as its corner, centre − 5e-31):
# i is a Misiurewicz point with minibrots of growing period ever closer to it.
real_min=-0.0000000000000000000000000000005
imag_min=0.9999999999999999999999999999995
side=1e-30
centre_re=0
centre_im=1

mkdir -p "$work/home"
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" "$program" --explore "$real_min" "$imag_min" "$side" 2000 &
pid=$!
find_explorer() { explorer=$(xdotool search --onlyvisible --name '^探索ウィンドウ$' 2>/dev/null | head -n1) && [ -n "$explorer" ]; }
wait_for "the explorer" find_explorer
xdotool windowfocus --sync "$explorer"
xdotool windowraise "$explorer"
"$helper" settle "$explorer" "$work/opened.png" || fail "the opening picture did not settle"

# What the window's copy says: the location line, then the status line.
copied() {
  xdotool key --clearmodifiers "$1"
  sleep 0.3
  "$helper" clipboard
}
before=$(copied ctrl+c)
echo "opened: $before"

menu_item g m "the find gesture" true
for _ in $(seq 1 300); do
  status=$(copied ctrl+shift+c)
  [[ "$status" == *"へ移動しました"* && "$status" == *"完了"* ]] && break
  [[ "$status" == *"見つかりません"* ]] && fail "nothing found: $status"
  sleep 0.5
done
echo "status: $status"
[[ "$status" == *"のミニブロ（大きさ "*"へ移動しました"* ]] || fail "the status line does not say what was found"
after=$(copied ctrl+c)
echo "moved to: $after"

# The search the menu item makes: about the view's centre, within an eighth of the side.
radius=1.25e-31
found=$("$finder" minibrot "$centre_re" "$centre_im" "$radius" --max-period 100000) || fail "mandelbrot-find found nothing"
echo "mandelbrot-find: $found"
period=$(echo "$found" | head -n1 | sed 's/.*period=\([0-9]*\).*/\1/')
grouped=$(echo "$period" | sed ':a;s/\B[0-9]\{3\}\>/,&/;ta')  # 12345 → 12,345, as the window writes it
[[ "$status" == *"周期 $grouped のミニブロ"* ]] || fail "the status line names another period than $grouped"
# The view: centred on the nucleus mandelbrot-find names (within a pixel: the
# copied corner lies on the grid of the side), the side of its location line,
# a limit of at least eight times the period.
python3 - "$after" "$found" "$period" <<'PY' || fail "the view is not centred on the nucleus with the side and limit expected"
import sys
from decimal import Decimal, getcontext
getcontext().prec = 400
words = sys.argv[1].split()
if "--colouring" in words:  # the colouring options follow the location
    words = words[:words.index("--colouring")]
w, h = (int(v) for v in words[words.index("--size") + 1].split("x"))
rmin, imin, side, limit = Decimal(words[-4]), Decimal(words[-3]), Decimal(words[-2]), int(words[-1])
m = min(w, h)
centre = (rmin + side * w / (2 * m), imin + side * h / (2 * m))
first, location = sys.argv[2].splitlines()
fields = dict(field.split("=") for field in first.split())
nucleus = (Decimal(fields["real"]), Decimal(fields["imag"]))
pixel = side / m
assert all(abs(c - n) <= pixel for c, n in zip(centre, nucleus)), (centre, nucleus, pixel)
assert side == Decimal(location.split()[-2]), (side, location)
assert limit >= 8 * int(sys.argv[3]), limit
PY

kill -TERM "$pid"
wait "$pid" || true
pid=
echo "explorer find: opened at $side, found period $period, view and status line as mandelbrot-find says"
