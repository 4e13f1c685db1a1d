# Shared by the shell tests that drive the real program in a window:
# failing with a message, and waiting, always with a bound.

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
