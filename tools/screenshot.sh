#!/bin/sh
# Makes the README's screenshots: the real program under Xvfb with real files open, and
# the same at scale 2 with a dark palette in a 1024x700 window (OUTPUT-dark-2x.png).
# Usage: tools/screenshot.sh [OUTPUT.png] [BUILD_DIR]   (defaults: docs/screenshot.png, build)
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/docs/screenshot.png}"
build="${2:-$root/build}"
media="$(mktemp -d)"
trap 'rm -rf "$media"' EXIT
"$root/tests/make_media.sh" "$media" >/dev/null
mkdir -p "$(dirname "$out")"
QT_QUICK_BACKEND=software xvfb-run -a -s "-screen 0 1280x800x24" \
    "$build/tools/perlane-screenshot" "$root/qml" "$out" "$media/full.mkv" "$media/editions.mkv"
echo "wrote $out"
dark="${out%.png}-dark-2x.png"
QT_QUICK_BACKEND=software QT_SCALE_FACTOR=2 PERLANE_SCREENSHOT_DARK=1 PERLANE_SCREENSHOT_SIZE=1024x700 \
    xvfb-run -a -s "-screen 0 2200x1500x24" \
    "$build/tools/perlane-screenshot" "$root/qml" "$dark" "$media/full.mkv" "$media/editions.mkv"
echo "wrote $dark"
