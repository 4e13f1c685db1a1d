#!/usr/bin/env bash
# Ctrl+C during a large render leaves no file: the renderer is interrupted
# once its temporary file exists, and must end by the signal with nothing
# left in its folder.
set -euo pipefail
render="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

"$render" --size 32000 --png "$dir/big.png" -0.3 -0.3 0.2 1500 >/dev/null &
pid=$!
# Wait until the picture is being written (its hidden temporary file exists).
until compgen -G "$dir/.big.png.*" >/dev/null; do
  kill -0 "$pid" 2>/dev/null || { echo "the renderer ended before writing"; exit 1; }
  sleep 0.05
done
kill -INT "$pid"
status=0
wait "$pid" || status=$?
left=$(ls -A "$dir")
echo "status $status, left: [${left}]"
[ "$status" -eq 130 ] && [ -z "$left" ]
