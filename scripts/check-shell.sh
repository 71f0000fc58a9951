#!/usr/bin/env bash
# Fails when a shell script of the project has a finding of shellcheck (sourced files followed).
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files '*.sh' .ci/run | xargs shellcheck -x
