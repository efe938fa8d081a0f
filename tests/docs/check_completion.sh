#!/usr/bin/env bash
# Usage: check_completion.sh bash|zsh|fish FILE LUMO
# Checks a shell completion file against `lumo --help`: every flag and every
# parser name is written in the file, and, when the shell is installed, the
# shell itself offers exactly those flags and parsers and keeps a switch from
# being offered twice. Exits 77 (skipped) when the text is right but the shell
# needed for the rest is missing.
set -euo pipefail
shell=$1 file=$2 lumo=$3
source "$(dirname "$0")/help_flags.sh"
require_help_lists "$lumo"
long_flags=$(grep -- '^--' <<<"$FLAGS")
status=0
fail() { echo "$file: $*" >&2; status=1; }

# How each file spells a flag: fish names long flags `-l NAME` and short ones
# `-s X`; bash and zsh write them as typed.
for flag in $FLAGS; do
  case $shell:$flag in
    fish:--*) pattern="-l ${flag#--}" ;;
    fish:-*) pattern="-s ${flag#-}" ;;
    *) pattern=$flag ;;
  esac
  contains_word "$file" "$pattern" || fail "no $flag"
done
for parser in $PARSERS; do
  contains_word "$file" "$parser" || fail "no parser $parser"
done

if ! command -v "$shell" >/dev/null; then
  echo "$shell is not installed: only the text of $file was checked" >&2
  ((status == 0)) && exit 77
  exit $status
fi

# What the shell completes, one candidate a line, for words typed so far.
case $shell in
  bash)
    complete_words() {
      bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
               _lumo; printf "%s\n" "${COMPREPLY[@]}"' - "$file" lumo "$@"
    }
    ;;
  fish)
    # fish keeps state under the home folder; it gets one of its own.
    fish_home=$(mktemp -d)
    trap 'rm -rf "$fish_home"' EXIT
    complete_words() {
      local line="lumo $*"
      HOME=$fish_home XDG_CONFIG_HOME=$fish_home XDG_DATA_HOME=$fish_home \
        fish --no-config -c 'source $argv[1]; complete -C $argv[2]' "$file" "$line" | cut -f1
    }
    ;;
  zsh)
    # zsh completes only inside its line editor, so the check stops at what
    # the function hands to _arguments: the option specs and the parsers.
    specs=$(zsh -f -c 'fpath=("${1:h}" $fpath); autoload -Uz _lumo
                       _arguments() { print -rl -- "$@"; print -rl -- "parser:${^parsers[@]}"; }
                       _lumo' - "$file") || fail "zsh cannot run it"
    offered=$(sed -nE '/^parser:/d; s/^\([^)]*\)//; s/^\*//; s/\[.*//p' <<<"$specs" | grep -- '^-' || true)
    same_lines "$file: options" "$FLAGS" "$offered" || status=1
    offered=$(sed -nE 's/^parser:([^:]*):.*/\1/p' <<<"$specs")
    same_lines "$file: parsers after --parser" "$PARSERS" "$offered" || status=1
    exit $status
    ;;
esac

same_lines "$shell completes 'lumo --'" "$long_flags" "$(complete_words --)" || status=1
same_lines "$shell completes 'lumo --parser '" "$PARSERS" "$(complete_words --parser '')" || status=1
# After --section, the section names of the file on the command line, as
# `lumo --list --json` gives them (the built lumo is the one on the PATH).
# The word typed starts with a dot, since fish offers names with a leading
# dot only then.
if [[ -r /bin/true ]] && command -v python3 >/dev/null; then
  export PATH="$(cd "$(dirname "$lumo")" && pwd):$PATH"
  names=$("$lumo" /bin/true --list --json | python3 -c 'import json, sys
print("\n".join(e["name"] for e in json.load(sys.stdin)
                if e["selectable"] and e["name"].startswith(".")))')
  same_lines "$shell completes 'lumo /bin/true --section .'" "$names" \
    "$(complete_words /bin/true --section .)" || status=1
fi
# Once one form of a switch is given, neither form is offered again.
same_lines "$shell completes 'lumo --no-color --'" \
  "$(grep -vx -e --color -e --no-color <<<"$long_flags")" "$(complete_words --no-color --)" || status=1
exit $status
