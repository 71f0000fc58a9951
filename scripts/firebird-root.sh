#!/usr/bin/env bash
# Makes a private copy of the Firebird root in <dir>, so that its firebird.conf can be written
# without touching the machine's own configuration; point FIREBIRD at it to use it.
#   firebird-root.sh <dir>
# The packaged root links its configuration files to /etc: the copy gets real files instead.
set -euo pipefail
fb_lib=${TRAMOLIN_FB_LIB:-/usr/lib/x86_64-linux-gnu/firebird/3.0}
if [ $# -ne 1 ]; then
  echo "usage: $0 <dir>" >&2
  exit 2
fi
root=$1
rm -rf "$root"
mkdir -p "$(dirname "$root")"
cp -r "$fb_lib" "$root"
for conf in "$root"/*.conf; do
  if [ -L "$conf" ]; then
    rm "$conf"
    cp "$(readlink -f "$fb_lib/$(basename "$conf")")" "$conf"
  fi
done
