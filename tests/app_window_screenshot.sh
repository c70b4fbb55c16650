#!/usr/bin/env bash
# Takes a picture of the main window alone, filled from the test build's
# sample catalogue with a run's log (the README's pictures come from the real
# program, through scripts/demo):
#   tests/app_window_screenshot.sh [BUILD_DIR] [OUTPUT.png]
# (defaults build/win32 and BUILD_DIR/app-window.png). Needs app_tests built in
# BUILD_DIR, Xvfb and ImageMagick. The window runs in a Wine virtual desktop
# so that Wine draws its caption and border; without DISPLAY a private Xvfb
# is started.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build/win32}" && pwd)
out=${2:-$build/app-window.png}
source "$root/scripts/wine-env"
iz_make_prefix

source "$root/tests/support/xvfb.sh"
work=$(mktemp -d)
cleanup() {
  iz_stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  iz_start_xvfb 1024x768x24
fi

export IZ_SCREENSHOT_HOLD_MS=15000 IZ_SCREENSHOT_RECT="$work/rect"
(cd "$build/tests" && wine explorer /desktop=IzShot,800x600 app_tests.exe \
   --gtest_filter='AppWindowScreenshot.*' >"$work/log" 2>&1) &
runner=$!
for _ in $(seq 1 120); do
  [ -s "$work/rect" ] && break
  sleep 0.5
done
[ -s "$work/rect" ] || { cat "$work/log"; echo "the window did not come up" >&2; exit 1; }
sleep 3  # let it paint
mkdir -p "$(dirname "$out")"
import -window root -crop "$(cat "$work/rect")" +repage "$out"
wait "$runner" || { cat "$work/log"; exit 1; }
echo "$out"
