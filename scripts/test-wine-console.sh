#!/usr/bin/env bash
# Runs lumo.exe in Wine's console and checks what the console shows.
#
#   scripts/test-wine-console.sh [--ctrl-c]
#
# When wine64 runs a console program whose standard streams are a Unix
# terminal, Wine's console host gives the program a real console on that
# terminal, so the program takes the path a Windows console takes:
# GetConsoleMode, SetConsoleMode with escape processing, color by default.
# Here the terminal is a tmux pane of a private tmux server, and the checks
# read the pane (capture-pane, with and without its colors):
#   - a dump is colored by default, the ELF header in its style (c1, red);
#   - no color with --no-color, with NO_COLOR=1, with `.color = false` in
#     %APPDATA%\lumo\config.ziggy; --color wins over NO_COLOR;
#   - --show-palette shows the eighteen default styles;
#   - an error report reaches the console on standard error, its prefix
#     colored whatever the color options say;
#   - with --ctrl-c (or LUMO_TEST_CTRL_C=1): Ctrl-C during a long colored
#     dump ends it, and the next command's output shows, uncolored (fails
#     often under Wine for reasons of Wine's own, see the check).
#
# LUMO_WINDOWS_EXE names lumo.exe (build/windows/lumo.exe by default) and
# LUMO_WINEPREFIX the Wine prefix (build/windows/wine by default, set up on
# first use). Needs the Debian packages wine64 and tmux.
set -euo pipefail
cd "$(dirname "$0")/.."

ctrl_c=${LUMO_TEST_CTRL_C:-0}
for arg in "$@"; do
  case $arg in
    --ctrl-c) ctrl_c=1 ;;
    *) echo "usage: $0 [--ctrl-c]" >&2; exit 2 ;;
  esac
done
command -v tmux >/dev/null || { echo "tmux is needed (apt-get install tmux)" >&2; exit 1; }

exe=$(realpath "${LUMO_WINDOWS_EXE:-build/windows/lumo.exe}")
prefix=$(realpath -m "${LUMO_WINEPREFIX:-build/windows/wine}")
wine_run=$PWD/scripts/wine-run.sh
# Generous: with eight consoles starting at once on a loaded machine, Wine
# can take long to show anything.
timeout_s=180

# Sets up the prefix (once) and starts its wineserver away from any pane.
"$wine_run" "$prefix" cmd /c exit </dev/null >/dev/null 2>&1

# Everything of this run lives in one folder on the prefix's drive C:, so
# that Windows paths to it are short and free of spaces.
work=$(mktemp -d "$prefix/drive_c/lumo-console.XXXXXX")
win_work="C:\\$(basename "$work")"
server=lumo-wine-console-$$
tm() { tmux -L "$server" "$@"; }
socket=
cleanup() {
  tm kill-server 2>/dev/null || true
  # The server leaves its socket behind.
  [[ -z $socket ]] || rm -f "$socket"
  rm -rf "$work"
}
trap cleanup EXIT

cp "$exe" "$work/lumo.exe"
mkdir -p "$work/none" "$work/color-off/lumo"
printf '.color = false,\n' >"$work/color-off/lumo/config.ziggy"

# An ELF header alone (readelf -h reads it: ELF64, x86-64, no program or
# section headers), then sixteen bytes of text.
{
  printf '\177ELF\2\1\1\0\0\0\0\0\0\0\0\0'
  printf '\2\0\76\0\1\0\0\0'
  printf '\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0'
  printf '\0\0\0\0\100\0\70\0\0\0\100\0\0\0\0\0'
  printf 'lumo in console!'
} >"$work/header.elf"
expected_dump='00000000 | 7f45 4c46 0201 0100 0000 0000 0000 0000 | .ELF............ |
00000010 | 0200 3e00 0100 0000 0000 0000 0000 0000 | ..>............. |
00000020 | 0000 0000 0000 0000 0000 0000 0000 0000 | ................ |
00000030 | 0000 0000 4000 3800 0000 4000 0000 0000 | ....@.8...@..... |
00000040 | 6c75 6d6f 2069 6e20 636f 6e73 6f6c 6521 | lumo in console! |
File size: 80 bytes'
expected_palette='                  (alt)    (accent)
(main)   0x112233 0x112233 0x112233
         0x112233 0x112233 0x112233
         0x112233 0x112233 0x112233
         0x112233 0x112233 0x112233
         0x112233 0x112233 0x112233
         0x112233 0x112233 0x112233'

# run.sh APPDATA-FOLDER [NAME=VALUE...] -- ARGUMENT...: runs lumo.exe with
# the arguments in this terminal's Wine console, in an environment of its
# own, then writes "lumo-exit:STATUS" on a line of its own. cmd.exe sets
# APPDATA, because Wine puts its own over one from the Unix environment.
{
  printf 'wine_run=%q\nprefix=%q\nwin_work=%q\n' "$wine_run" "$prefix" "$win_work"
  printf 'keep=(PATH=%q HOME=%q' "$PATH" "${HOME:-/}"
  [[ -z ${USER:-} ]] || printf ' USER=%q' "$USER"
  [[ -z ${LUMO_WINE:-} ]] || printf ' LUMO_WINE=%q' "$LUMO_WINE"
  printf ')\n'
  cat <<'EOF'
# Ctrl-C in the terminal is SIGINT for its whole foreground process group,
# this script included, which has to outlive lumo.exe to tell its status.
trap : INT
appdata=$1
shift
vars=()
while [[ $1 != -- ]]; do
  vars+=("$1")
  shift
done
shift
status=0
env -i "${keep[@]}" TERM="$TERM" "${vars[@]}" "$wine_run" "$prefix" \
  cmd /c "set APPDATA=$win_work\\$appdata&& lumo.exe $*" || status=$?
echo "lumo-exit:$status"
EOF
} >"$work/run.sh"

# A wide terminal: Wine's console host counts the bytes of escape sequences
# as columns, so colored lines wrap early in a narrow one. The checks look
# at colors and text, not at where colored lines break.
unset TMUX
tm -f /dev/null new-session -d -s lumo -n idle -x 500 -y 50 'exec cat'
socket=$(tm display-message -p '#{socket_path}')
tm set-option -g default-shell /bin/sh
tm set-option -g default-size 500x50

# start NAME APPDATA-FOLDER [NAME=VALUE...] -- ARGUMENT...: a check in a
# window of its own; the pane keeps its text after lumo.exe has ended.
declare -A run_arguments
start() {
  local name=$1
  shift
  run_arguments[$name]=$(printf '%q ' "$@")
  launch "$name"
}
launch() {
  tm new-window -d -n "$1" -c "$work" "bash ./run.sh ${run_arguments[$1]}; exec sleep 600"
}

# wait_for NAME REGEX: until a line of the pane's text matches, for at most
# $timeout_s seconds.
wait_for() {
  local deadline=$((SECONDS + timeout_s))
  until tm capture-pane -p -t "lumo:$1" | grep -Eq -- "$2"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.2
  done
}

# styles TOKEN: the style of every occurrence of TOKEN in $styled (the pane
# with its escape sequences), one a line, in order: "plain", "mixed" when
# its characters differ, or fg=N, bg=N, bold, dim as they apply. The pane's
# lines are joined first, so a token broken over two lines is still found.
styles() {
  awk -v token="$1" '
    function reset() { fg = ""; bg = ""; bold = 0; dim = 0; other = "" }
    function sgr(params,   p, count, k, v) {
      if (params == "") params = "0"
      gsub(/:/, ";", params)
      count = split(params, p, ";")
      for (k = 1; k <= count; k++) {
        v = p[k] + 0
        if (v == 0) reset()
        else if (v == 1) bold = 1
        else if (v == 2) dim = 1
        else if (v == 22) { bold = 0; dim = 0 }
        else if ((v >= 30 && v <= 37) || (v >= 90 && v <= 97)) fg = v
        else if (v == 39) fg = ""
        else if ((v >= 40 && v <= 47) || (v >= 100 && v <= 107)) bg = v
        else if (v == 49) bg = ""
        else if ((v == 38 || v == 48) && p[k + 1] == 5) {
          if (v == 38) fg = "5;" p[k + 2]; else bg = "5;" p[k + 2]
          k += 2
        } else if ((v == 38 || v == 48) && p[k + 1] == 2) {
          if (v == 38) fg = "2;" p[k + 2] ";" p[k + 3] ";" p[k + 4]
          else bg = "2;" p[k + 2] ";" p[k + 3] ";" p[k + 4]
          k += 4
        } else other = other " sgr" v
      }
    }
    function current(   s) {
      s = ""
      if (fg != "") s = s " fg=" fg
      if (bg != "") s = s " bg=" bg
      if (bold) s = s " bold"
      if (dim) s = s " dim"
      s = substr(s other, 2)
      return s == "" ? "plain" : s
    }
    BEGIN { ESC = "\033"; reset(); n = 0; text = "" }
    {
      line = $0
      len = length(line)
      i = 1
      while (i <= len) {
        c = substr(line, i, 1)
        if (c != ESC) {
          text = text c
          style[++n] = current()
          i++
        } else if (substr(line, i + 1, 1) == "[") {
          j = i + 2
          while (j <= len && substr(line, j, 1) ~ /[0-9;:<=>?]/) j++
          if (substr(line, j, 1) == "m") sgr(substr(line, i + 2, j - i - 2))
          i = j + 1
        } else {
          i += 2
        }
      }
    }
    END {
      from = 1
      while ((k = index(substr(text, from), token)) > 0) {
        at = from + k - 1
        s = style[at]
        for (m = at + 1; m < at + length(token); m++) if (style[m] != s) s = "mixed"
        print s
        from = at + length(token)
      }
    }' <<<"$styled"
}

squeeze() { tr -d ' \n' <<<"$1"; }

failures=0
passed=0
check=
fail() {
  echo "FAIL [$check] $*" >&2
  failures=$((failures + 1))
}

# finish NAME [again]: waits for the check's lumo.exe to end and reads its pane
# into $status, $plain and $styled. Fails the check on a timeout.
finish() {
  check=$1
  # Not at the start of a line: a dump cut by Ctrl-C ends mid-line.
  if ! wait_for "$check" 'lumo-exit:[0-9]+$'; then
    fail "lumo.exe did not end within $timeout_s s; the pane shows:"
    tm capture-pane -p -t "lumo:$check" >&2
    echo "and these run on its terminal:" >&2
    ps -t "$(tm display-message -p -t "lumo:$check" '#{pane_tty}')" -o pid,stat,args >&2
    return 1
  fi
  plain=$(tm capture-pane -p -t "lumo:$check")
  styled=$(tm capture-pane -e -p -t "lumo:$check")
  status=$(grep -Eo 'lumo-exit:[0-9]+$' <<<"$plain" | cut -d: -f2)
  # Now and then (about one run in twenty, with eight consoles starting at
  # once) Wine ends a program with status 1 before anything of it reaches
  # its console, not even an error report. Such a check runs once more;
  # every check that shows anything at all counts as it is.
  if [[ $status != 0 && $(squeeze "$plain") == "lumo-exit:$status" && ${2:-} != again ]]; then
    echo "note [$check] ended with status $status and showed nothing; run once more" >&2
    tm kill-window -t "lumo:$check"
    launch "$check"
    finish "$check" again
  fi
}

# The outcome of the check that finish read last.
expect_status() {
  [[ $status == "$1" ]] || fail "exit status $status, expected $1"
}
expect_style() { # TOKEN STYLE: the token's first occurrence has the style
  local got
  got=$(styles "$1" | head -n 1)
  [[ $got == "$2" ]] || fail "'$1' shows as '${got:-missing}', expected '$2'"
}
expect_uncolored() {
  [[ $styled != *$'\e'* ]] || fail "the pane shows escape sequences: $(cat -v <<<"$styled" | head -n 3)"
}
expect_lines() { # TEXT: these lines, exactly, in the pane
  [[ $plain == *"$1"* ]] || fail "the pane lacks the lines:"$'\n'"$1"$'\n'"it shows:"$'\n'"$plain"
}
# TEXT: this text, white space aside, in the pane. For colored output, whose
# line breaks are not lumo's alone in Wine's console (see the wide terminal).
expect_text() {
  [[ $(squeeze "$plain") == *"$(squeeze "$1")"* ]] ||
    fail "the pane lacks the text:"$'\n'"$1"$'\n'"it shows:"$'\n'"$plain"
}
done_check() {
  local before=$1
  ((failures > before)) || { passed=$((passed + 1)); echo "ok   [$check]"; }
}

# All checks but Ctrl-C run side by side; each in a console of its own.
start default none -- header.elf
start no-color none -- --no-color header.elf
start no-color-env none NO_COLOR=1 -- header.elf
start config-off color-off -- header.elf
start color-over-env none NO_COLOR=1 -- --color header.elf
start palette none -- --show-palette
start error none NO_COLOR=1 -- --no-color missing.bin
start error-stream none -- missing.bin '>NUL'

# The header is c1 (red) from its magic number to its last field; the text
# after it belongs to no part of the file (normal_alt, dimmed yellow).
before=$failures
if finish default; then
  expect_status 0
  expect_style 7f45 fg=31
  expect_style 4c46 fg=31
  expect_style 3800 fg=31
  expect_style 6c75 'fg=33 dim'
  expect_text "$expected_dump"
fi
done_check "$before"

for name in no-color no-color-env config-off; do
  before=$failures
  if finish "$name"; then
    expect_status 0
    expect_uncolored
    expect_lines "$expected_dump"
  fi
  done_check "$before"
done

before=$failures
if finish color-over-env; then
  expect_status 0
  expect_style 7f45 fg=31
  expect_text "$expected_dump"
fi
done_check "$before"

# The default palette, row by row: each color plain, dimmed, then bright
# and bold.
before=$failures
if finish palette; then
  expect_status 0
  expected_styles=
  for color in 3 1 2 4 5 6; do
    expected_styles+="fg=3$color"$'\n'"fg=3$color dim"$'\n'"fg=9$color bold"$'\n'
  done
  got_styles=$(styles 0x112233)
  [[ $got_styles == "${expected_styles%$'\n'}" ]] ||
    fail "the cells show as"$'\n'"$got_styles"$'\n'"expected"$'\n'"$expected_styles"
  expect_lines '                  (alt)    (accent)'
  expect_text "$expected_palette"
fi
done_check "$before"

# Standard error is the same console as standard output, whose escape
# processing the run has switched on: the prefix is red and bold although
# colors are off for the dump.
before=$failures
if finish error; then
  expect_status 1
  expect_style error 'fg=31 bold'
  expect_text 'error: missing.bin not found'
fi
done_check "$before"

# With standard output on NUL the report still shows: it is on standard
# error. (Its prefix is plain here, as in a Windows console whose escape
# processing nobody switched on; Windows Terminal has it on from the start,
# so the prefix's color is no property of lumo and is not checked.)
before=$failures
if finish error-stream; then
  expect_status 1
  expect_text 'error: missing.bin not found'
fi
done_check "$before"

# Ctrl-C during a long colored dump: lumo.exe ends before the dump does, and
# the shell's next command shows its output without lumo's colors.
# Off by default because Wine cannot hold it: on a Unix terminal its console
# host leaves Ctrl-C to the terminal, which echoes "^C" among the dump's
# bytes and sends SIGINT to every Wine process, the console host included.
# In about a third to a half of the runs the pane then swallows all that
# follows, the prompt included, also with a console control handler in
# lumo.exe. A Windows console reads the key itself and only raises
# CTRL_C_EVENT in the console's processes. (With the terminal's `stty
# -isig`, Wine's console host does not act on the key at all.)
if ((ctrl_c)); then
  check=ctrl-c
  before=$failures
  head -c 32M /dev/urandom >"$work/random.bin"
  tm new-window -d -n ctrl-c -c "$work" "PS1='\$ ' exec bash --norc --noprofile"
  if ! wait_for ctrl-c '^\$ ?$'; then
    fail "no shell prompt"
  else
    tm send-keys -t lumo:ctrl-c 'bash ./run.sh none -- random.bin' Enter
    if ! wait_for ctrl-c '^[0-9a-f]{8} '; then
      fail "the dump did not begin"
    else
      tm send-keys -t lumo:ctrl-c C-c
      if finish ctrl-c; then
        [[ $plain != *'File size:'* ]] || fail "the dump ran to its end before Ctrl-C"
        # No Wine process may go on writing to the terminal.
        tty=$(tm display-message -p -t lumo:ctrl-c '#{pane_tty}')
        shell=$(tm display-message -p -t lumo:ctrl-c '#{pane_pid}')
        deadline=$((SECONDS + timeout_s))
        while left=$(ps -t "$tty" -o pid=,args= | awk -v shell="$shell" '$1 != shell') &&
          [[ -n $left ]] && ((SECONDS < deadline)); do
          sleep 0.2
        done
        [[ -z $left ]] || fail "still running on the terminal: $left"
        tm send-keys -t lumo:ctrl-c 'echo "after-""ctrl-c"' Enter
        if wait_for ctrl-c '^after-ctrl-c$'; then
          styled=$(tm capture-pane -e -p -t lumo:ctrl-c)
          expect_style after-ctrl-c plain
        else
          fail "the next command's output did not show; the pane shows:"
          tm capture-pane -p -t lumo:ctrl-c >&2
        fi
      fi
    fi
  fi
  done_check "$before"
fi

echo "Wine console: $passed checks passed, $failures failures, ${SECONDS} s"
((failures == 0))
