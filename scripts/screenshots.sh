#!/usr/bin/env bash
# Saves a picture of the main window on a sample game and of every dialog into docs/screenshots/,
# drawn on a virtual X display; one more shows the main window with the frame and title that a window
# manager (twm) draws. With a scale factor (QT_SCALE_FACTOR=2 scripts/screenshots.sh DIR)
# the same windows are drawn for a high-density screen.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/screenshots}"
[ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build turnpost_screenshots >/dev/null
# One fixed font for the pictures, whatever the machine's desktop settings say.
export QT_QPA_PLATFORM=xcb QT_STYLE_OVERRIDE=Fusion
xvfb-run -a -s "-screen 0 1920x1440x24 -dpi 96" bash -c '
    LC_ALL=C twm -f scripts/screenshots.twmrc 2>/dev/null &
    wm=$!
    sleep 1
    build/bin/turnpost_screenshots "$1"
    status=$?
    kill "$wm" 2>/dev/null
    exit "$status"' screenshots "$out"
