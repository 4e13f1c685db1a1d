#!/usr/bin/env bash
# Installs the build into a scratch prefix as a user would and checks what a
# desktop needs: the programs, a valid desktop entry whose command and icon
# exist, the icon at every size, valid AppStream metadata and the man page.
# Then runs the installed program from its folder, which the user cannot
# write, with a fresh home: File > Save must put the picture into that home's
# Pictures folder, say so, and leave the program's folder alone.
# Usage: install_test.sh BUILD_DIR APP_ID HELPER
# (Runs itself under xvfb-run when no display is given. As root, the program
# runs as the user nobody, since permissions do not stop root's writes.)
set -euo pipefail

build=$1 app_id=$2 helper=$3

source "$(dirname "$0")/../common/window_test_lib.sh"
on_virtual_x "$0" "$@"

work=$(mktemp -d)
chmod 755 "$work"  # the program's user must reach the prefix and its home
prefix=$work/prefix home=$work/home
manifest=$build/install_manifest.txt
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  # The manifest of a real installation stays as it was.
  if [ -f "$work/manifest" ]; then cp "$work/manifest" "$manifest"; else rm -f "$manifest"; fi
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
}
[ -f "$manifest" ] && cp "$manifest" "$work/manifest"
trap cleanup EXIT

# fail, wait_for (bounded), find_window

# ---- the installed files

cmake --install "$build" --prefix "$prefix" >/dev/null
share=$prefix/share
desktop=$share/applications/$app_id.desktop
metainfo=$share/metainfo/$app_id.metainfo.xml
for program in mandelbrot mandelbrot-find mandelbrot-render mandelbrot-zoom; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not installed"
done
[ -s "$share/man/man1/mandelbrot-render.1" ] || fail "the man page is not installed"

desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
grep -q '^Name\[ja\]=マンデルブロ集合$' "$desktop" || fail "the desktop entry has no Japanese name"
exec_command=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$prefix/bin/$exec_command" ] || fail "the desktop entry starts '$exec_command', which is not installed"
icon=$(sed -n 's/^Icon=//p' "$desktop")
for size in 16 32 48 128 256; do
  installed=$share/icons/hicolor/${size}x$size/apps/$icon.png
  [ -f "$installed" ] || fail "no $size px icon named '$icon'"
  # The built file is the window's own picture (checked by ui_app_icon_test).
  cmp -s "$installed" "$build/data/icons/${size}x$size/apps/$app_id.png" || fail "the $size px icon differs"
done

appstreamcli validate --no-net "$metainfo" >/dev/null || {
  appstreamcli validate --no-net "$metainfo"
  fail "the metainfo does not validate"
}
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
  fail "the metainfo does not launch the installed desktop entry"

# ---- saving from the installed program

mkdir "$home"
mkdir -m 700 "$home/runtime"
runner=()
if [ "$(id -u)" -eq 0 ]; then
  chown -R nobody:nogroup "$home"
  cp "$XAUTHORITY" "$home/.Xauthority"
  chown nobody:nogroup "$home/.Xauthority"
  runner=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
else
  cp "$XAUTHORITY" "$home/.Xauthority"
  chmod -R a-w "$prefix"
fi
as_user() {
  "${runner[@]}" env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 \
    DISPLAY="$DISPLAY" XAUTHORITY="$home/.Xauthority" XDG_RUNTIME_DIR="$home/runtime" "$@"
}
# The case under test needs a program folder its user cannot write.
! as_user test -w "$prefix/bin" || fail "the installed program's folder is writable for its user"

as_user "$prefix/bin/mandelbrot" &
pid=$!
wait_for "the main window" find_window
xdotool windowfocus --sync "$window"

# Enter presses the start button: the start-up region is drawn.
xdotool key Return
sleep 0.5

pictures=$home/Pictures
saved_file() { saved=$(ls "$pictures"/M_sample*.bmp 2>/dev/null | head -n1) && [ -n "$saved" ]; }
note_box() { box=$(xdotool search --onlyvisible --name '画像データ保存' 2>/dev/null | head -n1) && [ -n "$box" ]; }
# Alt+F opens the File menu and S saves; a key pressed before the menu has
# opened is lost, so this tries a few times.
for _ in 1 2 3; do
  xdotool key --clearmodifiers alt+f
  sleep 0.5
  xdotool key s
  for _ in $(seq 1 30); do saved_file && break; sleep 0.1; done
  saved_file && break
  xdotool key Escape
done
saved_file || fail "File > Save wrote nothing into $pictures"
wait_for "the note saying where the picture went" note_box
xdotool windowfocus --sync "$box" key Return
no_box() { ! note_box; }
wait_for "the note to close" no_box

name=$(basename "$saved")
[[ "$name" =~ ^M_sample([0-9]|[1-5][0-9])\.bmp$ ]] || fail "unexpected file name $name"
[ "$(ls "$prefix/bin" | tr '\n' ' ')" = "mandelbrot mandelbrot-find mandelbrot-render mandelbrot-zoom " ] ||
  fail "something was written into the program's folder"
"$prefix/bin/mandelbrot-render" --bmp "$work/reference.bmp" -1.1507 -0.4793 0.5 100 >/dev/null
"$helper" compare "$saved" "$work/reference.bmp" || fail "the saved picture differs from the renderer's"

# File > Exit ends the program normally.
exited() { ! kill -0 "$pid" 2>/dev/null; }
for _ in 1 2 3; do
  xdotool windowfocus --sync "$window" key --clearmodifiers alt+f
  sleep 0.5
  xdotool key e
  for _ in $(seq 1 30); do exited && break; sleep 0.1; done
  exited && break
  xdotool key Escape
done
exited || fail "File > Exit did not end the program"
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || fail "the program exited with status $status"
echo "installed: files valid; the read-only program saved $name into the home's Pictures folder"
