# Shared by the shell tests that drive the real program in a window:
# a virtual X server, failing with a message, and waiting, always with a bound.

# The exit status of a script whose virtual X server never answered.
readonly kNoDisplay=75

# Runs the calling script again under xvfb-run unless it already runs there,
# then leaves the offscreen platform for a real X window. xvfb-run -a now and
# then hands over a display whose server did not start (a number still held
# by a server shutting down): inside, the script first waits for the display
# to answer, and where it never does, the script runs again on another one.
#   on_virtual_x "$0" "$@"
on_virtual_x() {
  if [ -z "${MANDEL_E2E_INSIDE_X:-}" ]; then
    export MANDEL_E2E_INSIDE_X=1
    local status=0
    for _ in 1 2 3; do
      status=0
      xvfb-run -a -s "-screen 0 1280x1024x24" "$@" || status=$?
      [ "$status" -eq "$kNoDisplay" ] || exit "$status"
      echo "the virtual X server did not answer; trying another display" >&2
    done
    exit "$status"
  fi
  unset QT_QPA_PLATFORM
  for _ in $(seq 1 50); do
    if xdotool getdisplaygeometry >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  exit "$kNoDisplay"
}

fail() { echo "FAIL: $*" >&2; exit 1; }

# Bounded polling: gives up after about ten seconds.
#   wait_for WHAT COMMAND [ARG...]
wait_for() {
  local what=$1
  shift
  for _ in $(seq 1 100); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  fail "timed out waiting for $what"
}

# The program's main window, in $window, once it is on the screen.
find_window() { window=$(xdotool search --onlyvisible --class mandelbrot 2>/dev/null | head -n1) && [ -n "$window" ]; }

# An item of a window's menu through the keyboard: the menu's Alt key opens
# it, the item's key chooses it, until the check holds. A key pressed before
# the menu has opened is lost, so this tries a few times.
#   menu_item MENU_KEY ITEM_KEY WHAT CHECK [ARG...]
menu_item() {
  local menu=$1 key=$2 what=$3
  shift 3
  for _ in 1 2 3; do
    xdotool key --clearmodifiers "alt+$menu"
    sleep 0.5
    xdotool key "$key"
    for _ in $(seq 1 30); do "$@" && return 0; sleep 0.1; done
    xdotool key Escape
  done
  fail "menu: $what did not happen"
}
