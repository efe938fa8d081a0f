#!/usr/bin/env bash
# Installs the Debian packages that building and testing lumo need, when they
# are missing. Needs root (or sudo) only when something is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build g++ libgtest-dev googletest binutils
  # clang for the sanitizer build and the fuzzers, its tools for the lint
  clang libclang-rt-14-dev clang-tidy clang-format
  # llvm-readobj: the raw section sizes of PE images, truth for --section
  llvm
  # the man page test, the package test and the completion tests
  groff-base dpkg-dev file zsh fish
  # the lint's scripts; tmux for the interrupted dump in a real terminal
  # and for Wine's console
  python3 tmux
  # the Windows cross build and Wine to run it
  g++-mingw-w64-x86-64 wine64
)
# Real binaries the parser tests read, and the tools that make and read others.
while read -r pkg; do
  [[ -z "$pkg" || "$pkg" == \#* ]] || packages+=("$pkg")
done < .ci/test-packages

missing=()
for pkg in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
((${#missing[@]} == 0)) && exit 0

echo "installing: ${missing[*]}"
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
