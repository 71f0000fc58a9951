#!/usr/bin/env bash
# Makes the Debian package: installs what is missing, builds the program (release) in build/ (or
# $BUILD_DIR) and writes tramolin2_<version>_<architecture>.deb into its package/ folder; prints
# the package's path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build_dir" -j "${JOBS:-$(nproc)}" --target tramolin2 service_unit
rm -f "$build_dir"/package/*.deb
(cd "$build_dir" && cpack -G DEB -B "$build_dir/package" >/dev/null)
ls "$build_dir"/package/*.deb
