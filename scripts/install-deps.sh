#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and runs with. Safe to run again.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev zlib1g-dev libdeflate-dev libxxhash-dev
  firebird-dev libfbclient2 firebird3.0-server-core firebird3.0-utils firebird3.0-server
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format libclang-rt-14-dev shellcheck
  openssl libssl3 libc-bin
  dpkg-dev  # dpkg-shlibdeps: the libraries the Debian package depends on
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
echo "Instalowanie pakietów: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
# The packaged server is not ours to run: tests start a private one on their own port.
if command -v systemctl >/dev/null 2>&1 && systemctl is-active --quiet firebird3.0 2>/dev/null; then
  "${sudo_cmd[@]}" systemctl stop firebird3.0 || true
fi
