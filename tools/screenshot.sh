#!/bin/sh
# Makes the README's screenshot: the real program under Xvfb with real files open.
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
