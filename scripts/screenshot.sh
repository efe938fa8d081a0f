#!/usr/bin/env bash
# Usage: scripts/screenshot.sh [LUMO] [FILE]
# Remakes docs/screenshot.png, the picture at the top of the README: LUMO
# (build/release/lumo by default) run on a real ELF file (FILE, /usr/bin/true
# by default) in a terminal of a fixed size. The terminal is a tmux session
# of a private server; its first screenful, escapes included, becomes HTML
# through aha, and headless Chromium takes the picture.
# Needs the Debian packages tmux, aha, chromium and fonts-dejavu-core.
set -euo pipefail
cd "$(dirname "$0")/.."
lumo=$(realpath "${1:-build/release/lumo}")
file=${2:-/usr/bin/true}
out=docs/screenshot.png

cols=76 rows=60                      # the terminal, in characters
font_px=15 line_px=18 pad_px=14      # how the HTML lays it out
char_px=9.03                         # DejaVu Sans Mono is 0.602 em wide

for tool in tmux aha chromium; do
  command -v "$tool" >/dev/null || { echo "$tool is needed (apt-get install $tool)" >&2; exit 1; }
done

work=$(mktemp -d)
socket=$work/tmux.sock
trap 'tmux -S "$socket" kill-server 2>/dev/null || true; rm -rf "$work"' EXIT

# A clean shell: prompt "$ ", lumo on the PATH, no configuration file, no
# NO_COLOR, and enough history to keep the whole dump.
mkdir "$work/bin" "$work/home"
ln -s "$lumo" "$work/bin/lumo"
echo 'set -g history-limit 100000' >"$work/tmux.conf"
tmux -S "$socket" -f "$work/tmux.conf" new-session -d -x "$cols" -y "$rows" \
  env -i PATH="$work/bin:/usr/bin:/bin" HOME="$work/home" TERM=xterm-256color \
  PS1='$ ' bash --norc --noprofile
tmux -S "$socket" send-keys "lumo $file" Enter

# Done when the last line of the screen is the next prompt.
for ((i = 0; ; i++)); do
  sleep 0.2
  [[ $(tmux -S "$socket" capture-pane -p | sed '/^$/d' | tail -n 1) == '$' ]] && break
  ((i < 100)) || { echo "lumo did not finish in the terminal" >&2; exit 1; }
done

# The first screenful: the command line and the start of the dump, which have
# scrolled into the history.
history=$(tmux -S "$socket" display-message -p '#{history_size}')
tmux -S "$socket" capture-pane -p -e -S "-$history" -E "$((rows - 1 - history))" >"$work/screen.ansi"

# aha has no dim, so dim travels as italic and is drawn dim by the style
# below, which also sets a terminal's palette and font.
sed -e 's/\x1b\[2m/\x1b[3m/g' -e 's/\x1b\[22m/\x1b[23m/g' "$work/screen.ansi" |
  aha --stylesheet --black --title lumo >"$work/screen.html"
style="<style type=\"text/css\">
body { margin: 0; padding: ${pad_px}px; background: #1e1e1e; }
pre { margin: 0; font: ${font_px}px/${line_px}px 'DejaVu Sans Mono', monospace; color: #d4d4d4; }
.reset { color: #d4d4d4; }
.red { color: #f14c4c; } .green { color: #23d18b; } .yellow { color: #e5c454; }
.blue { color: #3b8eea; } .purple { color: #d670d6; } .cyan { color: #29b8db; }
.white { color: #e5e5e5; } .dimgray { color: #666666; }
.italic { font-style: normal; opacity: 0.55; }
</style>"
awk -v style="$style" '/<\/head>/ { print style } { print }' "$work/screen.html" >"$work/page.html"

width=$(awk -v c="$cols" -v w="$char_px" -v p="$pad_px" 'BEGIN { printf "%d", c * w + 2 * p + 1 }')
height=$((rows * line_px + 2 * pad_px))
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --hide-scrollbars --force-device-scale-factor=1 --font-render-hinting=none --disable-lcd-text \
  --user-data-dir="$work/chromium" \
  --screenshot="$PWD/$out" --window-size="$width,$height" "file://$work/page.html" \
  2>"$work/chromium.log" || { cat "$work/chromium.log" >&2; exit 1; }
echo "wrote $out (${width}x$height)"
