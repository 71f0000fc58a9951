#!/usr/bin/env bash
# Makes the Debian package of a built tree, checks its files, dependencies and unit, and runs the
# unpacked program's --version with an empty environment (no display). Skipped (77) without the
# tools. Usage: package_test.sh <build dir> <version> <installed program> <installed unit>
set -euo pipefail
build_dir=$1 version=$2 program=$3 unit=$4

for tool in cpack dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: the package is not made"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

if ! (cd "$build_dir" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  fail "cpack could not make the package"
fi
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] || fail "not one package: ${debs[*]}"
deb=${debs[0]}

contents=$(dpkg-deb -c "$deb")
for path in "$program" "$unit"; do
  awk -v want=".$path" '$NF == want { found = 1 } END { exit !found }' <<<"$contents" ||
    fail "$path is not in the package:"$'\n'"$contents"
done
depends=$(dpkg-deb -f "$deb" Depends)
for package in adduser libfbclient2 libqt6core6; do
  [[ $depends == *"$package"* ]] || fail "Depends does not name $package: $depends"
done

dpkg-deb -x "$deb" "$work/root"
for line in "User=tramolin2" "ProtectSystem=strict" "ExecStart=\"$program\" -s"; do
  grep -qxF "$line" "$work/root$unit" || fail "the unit has no line $line"
done
# systemd takes every line of an instance (the program as unpacked: verify wants it on disk).
if command -v systemd-analyze >/dev/null; then
  instance="$work/$(basename "${unit/@/@check}")"
  sed "s|$program|$work/root$program|" "$work/root$unit" >"$instance"
  findings=$(systemd-analyze verify "$instance" 2>&1) || fail "systemd-analyze: $findings"
  [ -z "$findings" ] || fail "systemd-analyze: $findings"
fi
output=$(cd "$work" && env -i "$work/root$program" --version) || fail "--version ended with $?"
[ "$output" = "Tramolin 2, wersja $version" ] || fail "--version printed: $output"
echo "ok: $(basename "$deb")"
