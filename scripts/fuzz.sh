#!/usr/bin/env bash
# Builds the `fuzz` preset and runs every libFuzzer target for a bounded
# time, starting from a copy of its committed corpus (the repository is not
# changed). Fails on any finding: a crash, a sanitizer report, a broken
# invariant, a leak, a timeout or running out of memory. Prints the number
# of executions per target.
#
#   scripts/fuzz.sh [seconds per target, default 30] [target...]
#
# LUMO_FUZZ_BUILD_DIR overrides the build directory (default build/fuzz).
# A finding is kept as <target>-crash-* (or -leak-, -timeout-, -oom-) in
# the printed work directory; add it to fuzz/corpus/<target>/ (the
# colormap target's go to fuzz/corpus/dump/) once fixed, so that the replay
# test keeps it.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-30}"
shift || true
targets=("$@")
((${#targets[@]})) || targets=(config colormap dump args style)
build_dir="${LUMO_FUZZ_BUILD_DIR:-build/fuzz}"

# The longest input worth generating per target: configuration files are
# long, binaries' headers need some room but dumps are slow per byte (each
# input is dumped and rendered a second time by the reference), command
# lines and style texts are short.
max_len() {
  case "$1" in
    config) echo 8192 ;;
    colormap) echo 4096 ;;
    dump) echo 2048 ;;
    args) echo 1024 ;;
    style) echo 64 ;;
    *) echo 4096 ;;
  esac
}

# The colormap target shares the dump target's corpus: the dump target
# checks every colormap too.
corpus_of() {
  case "$1" in
    colormap) echo dump ;;
    *) echo "$1" ;;
  esac
}

cmake --preset fuzz -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j2 >/dev/null

work="$(mktemp -d "${TMPDIR:-/tmp}/lumo-fuzz.XXXXXX")"
failed=()
summary=()
for target in "${targets[@]}"; do
  binary="$build_dir/fuzz/lumo_fuzz_$target"
  [[ -x "$binary" ]] || { echo "no fuzz target named $target" >&2; exit 2; }
  cp -r "fuzz/corpus/$(corpus_of "$target")" "$work/$target-corpus"
  log="$work/$target.log"
  status=0
  # -timeout: one input may take at most this long; -rss_limit_mb and
  # -malloc_limit_mb catch runaway memory.
  "$binary" "$work/$target-corpus" \
    -max_total_time="$seconds" -max_len="$(max_len "$target")" \
    -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 \
    -print_final_stats=1 -artifact_prefix="$work/$target-" >"$log" 2>&1 || status=$?
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  summary+=("$(printf '%-8s %12s executions' "$target" "${runs:-?}")")
  if ((status != 0)); then
    failed+=("$target")
    echo "== $target: finding (status $status), log $log" >&2
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*invariant broken|.*artifact_prefix|Test unit written)' "$log" >&2 || tail -n 20 "$log" >&2
  fi
done

printf '%s\n' "${summary[@]}"
if ((${#failed[@]})); then
  echo "fuzzing found problems in: ${failed[*]} (work directory $work)" >&2
  exit 1
fi
rm -rf "$work"
