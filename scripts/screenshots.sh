#!/usr/bin/env bash
# Renders the program's windows on Qt's offscreen platform into PNG files:
#   scripts/screenshots.sh [output folder, default docs/screenshots]
# Builds what it needs into build/ (or $BUILD_DIR) first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
out=${1:-$root/docs/screenshots}
jobs=${JOBS:-$(nproc)}
mkdir -p "$out"
export QT_QPA_PLATFORM=offscreen

cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRAMOLIN_TESTS=ON >/dev/null

# The main window and the tray menu: server.png (three clients, one at 37 %), client_import.png
# (a client importing, with the gauge), technician.png (the technician's console), tray_menu.png.
cmake --build "$build_dir" -j "$jobs" --target window_screenshots
"$build_dir/tests/gui/window/window_screenshots" "$out"

# The configuration wizard in server and in client mode: wizard_server.png, wizard_client.png.
cmake --build "$build_dir" -j "$jobs" --target wizard_screenshots
"$build_dir/tests/gui/wizard/wizard_screenshots" "$out"

echo "Screenshots in $out"
