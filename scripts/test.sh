#!/usr/bin/env bash
# Builds lumo and runs every test. On a fresh Debian machine it first
# installs what is missing (scripts/install-deps.sh, with apt-get through
# sudo when not root), so this one command does all the set-up.
#
#   1. the g++ debug build: unit, end-to-end and document tests
#   2. the clang build under AddressSanitizer and UndefinedBehaviorSanitizer
#   3. the release build packaged as a .deb, checked and tried out
#   4. the Windows cross build, its tests under Wine, and lumo.exe end to end
#   5. every fuzz target for a bounded time (LUMO_FUZZ_SECONDS, default 30)
#   6. clang-format and clang-tidy
set -euo pipefail
cd "$(dirname "$0")/.."

# stage TITLE COMMAND...: a heading as the stage starts, its time when done.
stage() {
  local title=$1 start=$SECONDS
  shift
  echo "==> $title"
  "$@"
  echo "==> $title: done in $((SECONDS - start)) s"
}

stage "Debian packages" scripts/install-deps.sh
stage "g++ debug build and tests" cmake --workflow --preset test
stage "clang build and tests under the sanitizers" cmake --workflow --preset asan-test
stage "Debian package" scripts/test-package.sh
stage "Windows cross build and tests under Wine" scripts/test-windows.sh
stage "fuzz targets" scripts/fuzz.sh "${LUMO_FUZZ_SECONDS:-30}"
stage "clang-format and clang-tidy" scripts/lint.sh
