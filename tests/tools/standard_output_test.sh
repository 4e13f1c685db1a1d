#!/usr/bin/env bash
# A picture sent to standard output, redirected to a file or through a pipe,
# is the same picture as one written to a named file, and the summary goes to
# standard error instead. A pipe closed early is a failure with one line.
set -euo pipefail
render="$1"
decode="$(dirname "$0")/decode_bmp.py"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
region=(-0.3 -0.3 0.2 200)

same_picture() {  # format file reference
  if [ "$1" = bmp ]; then
    cmp <(python3 "$decode" "$2") <(python3 "$decode" "$3")
  else
    cmp "$2" "$3"  # one encoder, one palette: the same bytes
  fi
}

failed=0
for format in png bmp; do
  "$render" --size 100 --$format "$dir/named.$format" "${region[@]}" >"$dir/named.out"
  "$render" --size 100 --$format /dev/stdout "${region[@]}" >"$dir/redirected.$format" 2>"$dir/redirected.err"
  "$render" --size 100 --$format /dev/stdout "${region[@]}" 2>"$dir/piped.err" | cat >"$dir/piped.$format"
  for way in redirected piped; do
    if same_picture $format "$dir/$way.$format" "$dir/named.$format" &&
       [ "$(sed 's/ ms=.*//' "$dir/$way.err")" = "$(sed 's/ ms=.*//' "$dir/named.out")" ]; then
      echo "$format $way: intact, summary on standard error"
    else
      echo "$format $way: FAILED"; failed=1
    fi
  done
done

set +e
"$render" --size 4000 --png "$dir/side.png" --bmp /dev/stdout "${region[@]}" 2>"$dir/broken.err" | head -c 100 >/dev/null
status=${PIPESTATUS[0]}
set -e
left=$(ls -A "$dir" | grep -c '^\.' || true)
echo "broken pipe: status $status, message: $(cat "$dir/broken.err"), hidden files left: $left"
[ "$status" -eq 1 ] && [ "$(wc -l <"$dir/broken.err")" -eq 1 ] && grep -q 'Broken pipe' "$dir/broken.err" &&
  [ ! -e "$dir/side.png" ] && [ "$left" -eq 0 ] || failed=1
exit $failed
