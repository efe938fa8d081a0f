#!/usr/bin/env bash
# Static checks: clang-tidy with the checks of .clang-tidy on every C++ file
# of src/, tests/ and fuzz/ that the build compiles, and clang-format (the
# style of .clang-format) on every C++ source and header. Fails on any
# finding or formatting difference.
#
#   scripts/lint.sh [file...]    (default: everything)
#
# clang-tidy reads the compile commands of a debug build configured in
# LUMO_LINT_BUILD_DIR (default build/lint); nothing is compiled.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${LUMO_LINT_BUILD_DIR:-build/lint}"
tidy="$(command -v clang-tidy-14 || command -v clang-tidy)"
format="$(command -v clang-format-14 || command -v clang-format)"

if (($#)); then
  files=("$@")
else
  mapfile -t files < <(find src tests fuzz -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
fi

status=0

echo "== clang-format"
if ! "$format" --dry-run --Werror --style=file "${files[@]}"; then
  echo "clang-format: reformat the files above with: $format -i --style=file FILE" >&2
  status=1
fi

echo "== clang-tidy"
cmake --preset debug -B "$build_dir" >/dev/null
# Only files the build compiles have compile commands; on Linux that leaves
# out the Windows sources.
mapfile -t compiled < <(python3 - "$build_dir/compile_commands.json" "${files[@]}" <<'EOF'
import json, os, sys
known = {os.path.realpath(entry["file"]) for entry in json.load(open(sys.argv[1]))}
for name in sys.argv[2:]:
    if name.endswith(".cpp") and os.path.realpath(name) in known:
        print(name)
EOF
)
if ((${#compiled[@]})); then
  # One file per clang-tidy process, two at a time; --quiet keeps the output
  # to the findings themselves.
  if ! printf '%s\0' "${compiled[@]}" |
      xargs -0 -n 1 -P 2 "$tidy" -p "$build_dir" --quiet 2> >(grep -v '^[0-9]* warnings\? generated\.$' >&2); then
    status=1
  fi
fi

if ((status == 0)); then
  echo "lint: clean (${#files[@]} files formatted, ${#compiled[@]} analyzed)"
else
  echo "lint: findings above" >&2
fi
exit "$status"
