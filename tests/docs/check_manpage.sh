#!/usr/bin/env bash
# Usage: check_manpage.sh MANPAGE LUMO
# Checks the generated man page: groff renders it without a single warning,
# its title line carries the version that lumo reports, and it documents
# every flag and parser of `lumo --help`.
set -euo pipefail
page=$1 lumo=$2
source "$(dirname "$0")/help_flags.sh"
status=0

if ! command -v groff >/dev/null; then
  echo "groff is needed to check the man page (Debian package groff-base)" >&2
  exit 1
fi

# -ww turns on every warning; -z renders without writing the result. Both the
# default device and the terminal one that man(1) uses are tried.
for device in ps utf8; do
  warnings=$(groff -man -ww -z -T"$device" "$page" 2>&1) || status=1
  if [[ -n $warnings ]]; then
    echo "groff -T$device warns about $page:" >&2
    printf '%s\n' "$warnings" >&2
    status=1
  fi
done

if grep -n '@[A-Za-z_]*@' "$page" >&2; then
  echo "$page: placeholders left unreplaced" >&2
  status=1
fi

# .TH NAME SECTION DATE SOURCE MANUAL; SOURCE is "lumo VERSION".
version=$("$lumo" --version 2>&1 >/dev/null)
if ! grep -qF -- "\"$version\"" <(grep '^\.TH ' "$page"); then
  echo "$page: the .TH line does not name \"$version\":" >&2
  grep '^\.TH ' "$page" >&2 || true
  status=1
fi

# The source with roff's escapes for minus signs and fonts taken out, so that
# \-\-color reads --color.
plain=$(mktemp)
trap 'rm -f "$plain"' EXIT
sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\[&%]//g' "$page" >"$plain"

require_help_lists "$lumo"
for word in $FLAGS $PARSERS; do
  if ! contains_word "$plain" "$word"; then
    echo "$page does not mention $word" >&2
    status=1
  fi
done
exit $status
