#!/usr/bin/env bash
# Tests the Windows build: cross-compiles lumo.exe and the unit tests with
# mingw-w64 (the `windows` workflow), runs them under Wine through CTest,
# then runs the end-to-end suite that drives lumo.exe under Wine from the
# Linux build's harness and compares it with the Linux lumo, and last the
# console checks of scripts/test-wine-console.sh (lumo.exe in Wine's console
# on a tmux pane).
# Needs the Debian packages g++-mingw-w64-x86-64, wine64, googletest and
# tmux; installs nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

windows_exe=$PWD/build/windows/lumo.exe
prefix=$PWD/build/windows/wine

# The Wine processes of this run share a wineserver that outlives them by
# a few seconds; it is stopped when the run ends.
stop_wineserver() {
  local server=/usr/lib/wine/wineserver
  [[ -x $server ]] || server=$(command -v wineserver || true)
  if [[ -n $server && -d $prefix ]]; then WINEPREFIX=$prefix "$server" -k 2>/dev/null || true; fi
}
trap stop_wineserver EXIT

cmake --workflow --preset windows

# The end-to-end harness belongs to the Linux debug build.
cmake --preset debug >/dev/null
cmake --build --preset debug --target lumo lumo_e2e_tests
LUMO_WINDOWS_EXE=$windows_exe LUMO_WINEPREFIX=$prefix \
  ctest --preset debug --tests-regex '^e2e\.WindowsE2e\.'

# Extra arguments (--ctrl-c) go to the console checks.
LUMO_WINDOWS_EXE=$windows_exe LUMO_WINEPREFIX=$prefix scripts/test-wine-console.sh "$@"
