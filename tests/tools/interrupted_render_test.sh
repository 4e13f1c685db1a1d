#!/usr/bin/env bash
# Every signal that ends the renderer during a large render leaves no file:
# the renderer is signalled once it has its picture file open, and must end
# by that signal with nothing left in its folder. Once with the unnamed file
# (where even SIGKILL leaves nothing), once with the hidden temporary file.
set -euo pipefail
render="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
ulimit -c 0  # the signals that dump core must not leave a core file either

check() {  # mode signal
  local mode=$1 signal=$2
  env ${mode:+MANDEL_NAMED_TEMPORARY_FILES=1} \
    "$render" --size 32000 --png "$dir/big.png" -0.3 -0.3 0.2 1500 >/dev/null 2>"$dir.err" &
  local pid=$!
  # Wait until the picture is being written: the process holds a file in the folder.
  until ls -l "/proc/$pid/fd" 2>/dev/null | grep -qF -- "$dir/"; do
    kill -0 "$pid" 2>/dev/null || { echo "the renderer ended before writing"; cat "$dir.err"; return 1; }
    sleep 0.05
  done
  local writing
  writing=$(ls -A "$dir")
  if [ -n "$mode" ] && [ -z "$writing" ]; then echo "no hidden temporary file while writing"; return 1; fi
  if [ -z "$mode" ] && [ -n "$writing" ]; then echo "this file system has no unnamed files: [$writing]"; fi
  [ "$signal" = KILL ] && [ -n "$writing" ] && { kill -s KILL "$pid"; wait "$pid" 2>/dev/null; rm -f "$dir"/.big*; return 0; }
  kill -s "$signal" "$pid"
  local status=0
  { wait "$pid"; } 2>/dev/null || status=$?
  local expected=$((128 + $(kill -l "$signal")))
  local left
  left=$(ls -A "$dir")
  echo "${mode:-unnamed} $signal: status $status (expected $expected), left: [${left}]"
  [ "$status" -eq "$expected" ] && [ -z "$left" ]
}

failed=0
signals=(HUP INT QUIT ILL TRAP ABRT BUS FPE USR1 SEGV USR2 ALRM TERM STKFLT XCPU VTALRM PROF IO PWR SYS RTMIN RTMAX)
for signal in "${signals[@]}" KILL; do check "" "$signal" || failed=1; done
for signal in "${signals[@]}"; do check named "$signal" || failed=1; done
rm -f "$dir.err"
exit $failed
