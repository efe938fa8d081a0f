# Helpers for the document checks, to be sourced: what `lumo --help` lists.
# The help text is the reference that the man page and the completions are
# held to, so a flag added to lumo fails these checks until it is documented.

# help_text LUMO: the help text, which lumo writes to standard error.
help_text() {
  local text
  text=$("$1" --help 2>&1 >/dev/null) || { echo "$1 --help failed" >&2; return 1; }
  printf '%s\n' "$text"
}

# help_flags LUMO: every flag of the help text, one a line, short ones too.
# Flag lines start with two spaces and a dash; their descriptions start at
# column 34.
help_flags() {
  help_text "$1" | awk '/^  -/ { names = substr($0, 1, 34); gsub(/,/, " ", names);
                                  n = split(names, word, " ");
                                  for (i = 1; i <= n; i++) print word[i] }'
}

# help_parsers LUMO: the parser names listed under --parser, one a line.
help_parsers() {
  help_text "$1" | awk '/^ +- [a-z]+ / { print $2 }'
}

# same_lines WHAT EXPECTED ACTUAL: compares two newline-separated lists as
# sets and reports what is missing and what is extra.
same_lines() {
  local what=$1 missing extra
  missing=$(comm -23 <(printf '%s\n' "$2" | sort -u) <(printf '%s\n' "$3" | sort -u))
  extra=$(comm -13 <(printf '%s\n' "$2" | sort -u) <(printf '%s\n' "$3" | sort -u))
  [[ -z $missing && -z $extra ]] && return 0
  [[ -n $missing ]] && echo "$what: missing:" $missing >&2
  [[ -n $extra ]] && echo "$what: unexpected:" $extra >&2
  return 1
}

# contains_word FILE WORD: WORD stands in FILE with no letter, digit, '_' or
# '-' directly before or after it (so --color is not found in --no-color).
contains_word() {
  grep -qE -- "(^|[^A-Za-z0-9_-])$2([^A-Za-z0-9_-]|\$)" "$1"
}

# require_help_lists LUMO: fills the globals FLAGS and PARSERS and refuses
# lists so short that a change of the help layout must have broken parsing.
require_help_lists() {
  FLAGS=$(help_flags "$1") && PARSERS=$(help_parsers "$1") || return 1
  if (($(wc -l <<<"$FLAGS") < 10)) || ! grep -qx -- --parser <<<"$FLAGS" ||
     (($(wc -l <<<"$PARSERS") < 2)); then
    echo "could not read the flags and parsers from $1 --help" >&2
    return 1
  fi
}
