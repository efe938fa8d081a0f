#!/usr/bin/env bash
# Builds lumo and runs every test. On a fresh Debian machine it first
# installs what is missing (scripts/install-deps.sh), so this one command
# does all the set-up.
#
#   1. the g++ debug build: unit, end-to-end and document tests
#   2. the clang build under AddressSanitizer and UndefinedBehaviorSanitizer
#   3. the release build packaged as a .deb, checked and tried out
#   4. the Windows cross build, its tests under Wine, and lumo.exe end to end
#   5. every fuzz target for a bounded time (LUMO_FUZZ_SECONDS, default 30)
#   6. clang-format and clang-tidy
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --workflow --preset test
cmake --workflow --preset asan-test
scripts/test-package.sh
scripts/test-windows.sh
scripts/fuzz.sh "${LUMO_FUZZ_SECONDS:-30}"
scripts/lint.sh
