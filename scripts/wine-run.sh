#!/usr/bin/env bash
# Runs a Windows program under Wine:  wine-run.sh PREFIX PROGRAM [ARGUMENT...]
# PREFIX is a Wine prefix of the caller's own; it is set up on first use,
# under a lock so that runs started together wait for it. Wine's own
# diagnostics are silenced, so the program's streams carry only its output.
# The prefix's wineserver stays up for 30 seconds after its last process.
# LUMO_WINE names the wine binary when it is not in the usual places.
set -euo pipefail

# Wine wants an absolute prefix.
prefix=$(realpath -m "$1")
shift
wine=
for candidate in "${LUMO_WINE:-}" "$(command -v wine64 || true)" /usr/lib/wine/wine64 \
                 "$(command -v wine || true)"; do
  if [[ -n $candidate && -x $candidate ]]; then
    wine=$candidate
    break
  fi
done
if [[ -z $wine ]]; then
  echo "wine-run.sh: no wine64 found (Debian package wine64)" >&2
  exit 127
fi

export WINEPREFIX=$prefix WINEDEBUG=-all
server=$(dirname "$wine")/wineserver
[[ -x $server ]] || server=$(command -v wineserver || true)

mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [[ ! -e $prefix/.lumo-ready ]]; then
    "$wine" wineboot --init </dev/null >/dev/null 2>&1 9>&-
    touch "$prefix/.lumo-ready"
  fi
  # Every Wine process needs the prefix's wineserver, and one that stops
  # with its last process makes the next one start the whole session again
  # (seconds): the server is kept for 30 seconds after the last process.
  # Starting it fails when one is running already. A new server's session
  # processes (services, explorer) inherit the streams of the first Wine
  # process, so a first process without streams keeps them from holding
  # the caller's pipes open. Nothing that outlives this may hold the lock.
  if [[ -n $server ]] && "$server" -p30 </dev/null >/dev/null 2>&1 9>&-; then
    "$wine" cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true
  fi
) 9>"$prefix.lock"
exec "$wine" "$@"
