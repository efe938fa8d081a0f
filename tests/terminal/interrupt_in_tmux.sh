#!/usr/bin/env bash
# Interrupts a colored dump with Ctrl-C in a real terminal (a tmux pane) and
# checks that the shell is still visible afterwards: an `echo` typed after
# the interrupt must show on the screen, with the status of a process ended
# by SIGINT. A dump cut inside an escape sequence used to leave the terminal
# swallowing everything.
#
#   interrupt_in_tmux.sh LUMO [TRIALS]
#
# Prints one line per trial and a summary; fails when any trial leaves the
# terminal unusable. Exits with 77 (skipped) when tmux is missing.
set -euo pipefail
unset TMUX  # also when run from inside a tmux session

lumo=$(realpath "$1")
trials=${2:-4}

if ! command -v tmux >/dev/null; then
  echo "SKIPPED: tmux is not installed"
  exit 77
fi

work=$(mktemp -d)
# A private server whose socket lives in this run's own folder, so that no
# session of the user, nor a copy of this script running beside it, shares it.
tmux_() { tmux -S "$work/tmux.sock" -f /dev/null "$@"; }
cleanup() {
  tmux_ kill-server 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# A server exits with its last session, and a new session can reach one that
# is still exiting and fail: an idle session keeps the server up for all the
# trials.
tmux_ new-session -d -s idle 'exec cat'

# Random bytes color almost every byte on its own; enough of them that the
# dump runs for many seconds in a pane.
head -c $((32 << 20)) /dev/urandom >"$work/random.bin"

# wait_for PATTERN SECONDS: polls the visible pane until a line matches the
# extended regular expression PATTERN, at most SECONDS long.
wait_for() {
  local pattern=$1 deadline=$((SECONDS + $2))
  while ((SECONDS <= deadline)); do
    tmux_ capture-pane -p -t trial | grep -qE -- "$pattern" && return 0
    sleep 0.05
  done
  return 1
}

# Where in the dump the interrupt lands, in seconds after the first line.
delays=(0 0.05 0.1 0.2 0.35 0.5 0.8 1.2 0.02 0.15)
clean=0
for ((trial = 1; trial <= trials; trial++)); do
  delay=${delays[$(((trial - 1) % ${#delays[@]}))]}
  # A plain POSIX shell: bash's line editor writes an escape sequence with
  # every prompt (bracketed paste), which would end a swallowing string by
  # chance and hide the fault.
  tmux_ new-session -d -s trial -x 100 -y 30 \
    env -i HOME="$work" PATH=/usr/bin:/bin TERM=screen PS1='$ ' /bin/sh
  tmux_ send-keys -t trial "'$lumo' '$work/random.bin'" Enter
  # A dump line; the first one has scrolled away by the time anyone looks.
  # Generous: a loaded machine may take long to start the shell and lumo.
  if ! wait_for '^[0-9a-f]{8} \| ' 60; then
    echo "trial $trial: the dump never started"
    tmux_ kill-session -t trial
    continue
  fi
  sleep "$delay"
  tmux_ send-keys -t trial C-c
  # The typed line reads "$?", so only the shell's output shows "ended-130".
  # Typed ahead, the line may be echoed before the shell reads it, and the
  # output then follows the prompt on its line: it ends a line, wherever it
  # starts. A terminal swallowing what follows the dump shows no such line.
  tmux_ send-keys -t trial 'echo "ended-$?"' Enter
  if wait_for 'ended-130$' 30; then
    clean=$((clean + 1))
    echo "trial $trial (interrupt ${delay}s after the first line): echo visible"
  else
    echo "trial $trial (interrupt ${delay}s after the first line): NOTHING visible after Ctrl-C"
    tmux_ capture-pane -p -t trial | tail -n 3
  fi
  tmux_ kill-session -t trial 2>/dev/null || true
done

echo "$clean of $trials trials left the terminal usable"
((clean == trials))
