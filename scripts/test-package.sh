#!/usr/bin/env bash
# Usage: scripts/test-package.sh [BUILD_DIR]
# Builds the release preset (in BUILD_DIR, build/release by default), makes
# the Debian package with CPack and checks it: its control fields, the paths
# it holds, and that the program and the man page work once unpacked. The
# package is unpacked into a temporary folder with dpkg-deb -x, never
# installed, so the machine stays as it was.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}

# The one version of the project, which the package and `lumo --version`
# must both carry.
version=$(sed -n 's/^project(lumo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)

cmake --preset release -B "$build" >/dev/null
cmake --build "$build"
(cd "$build" && cpack -G DEB)
deb=$build/lumo_${version}_${arch}.deb

passed=0 failed=0
check() { # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $what" >&2
  fi
}
has_line() { grep -qx -- "$1" <<<"$2"; }
matches() { grep -qE -- "$1" <<<"$2"; }

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

check "$deb exists" test -f "$deb"
info=$(dpkg-deb --info "$deb")
printf '%s\n' "$info"
check "Package: lumo" has_line " Package: lumo" "$info"
check "Version: $version" has_line " Version: $version" "$info"
check "Architecture: $arch" has_line " Architecture: $arch" "$info"
check "Section: utils" has_line " Section: utils" "$info"
check "a Maintainer" matches "^ Maintainer: .+" "$info"
check "a Description with its summary" matches "^ Description: .*hex viewer" "$info"
check "Depends names libc6" matches "^ Depends: (.*, )?libc6( |,|$)" "$info"
check "Depends names libstdc++6" matches "^ Depends: (.*, )?libstdc\+\+6( |,|$)" "$info"

contents=$(dpkg-deb --contents "$deb")
printf '%s\n' "$contents"
paths=$(awk '{ print $NF }' <<<"$contents")
for path in ./usr/bin/lumo \
            ./usr/share/man/man1/lumo.1 \
            ./usr/share/bash-completion/completions/lumo \
            ./usr/share/zsh/site-functions/_lumo \
            ./usr/share/fish/vendor_completions.d/lumo.fish \
            ./usr/share/doc/lumo/examples/config.ziggy; do
  check "the package holds $path" has_line "$path" "$paths"
done
check "everything lies under /usr" test -z "$(grep -v -e '^\./$' -e '^\./usr/' <<<"$paths")"
check "usr/bin/lumo is executable by all, owned by root" \
  matches '^-rwxr-xr-x root/root .* \./usr/bin/lumo$' "$contents"

dpkg-deb -x "$deb" "$root"
lumo=$root/usr/bin/lumo
# No configuration file of this machine's user may take part.
run_lumo() { env -u APPDATA -u NO_COLOR HOME="$root" XDG_CONFIG_HOME="$root/config" "$lumo" "$@"; }
check "lumo --version prints \"lumo $version\"" \
  test "$(run_lumo --version 2>&1)" = "lumo $version"
dump=$(run_lumo --no-color "$lumo")
check "lumo dumps itself" matches '^00000000 \| 7f45 4c46 ' "$dump"

page=$root/usr/share/man/man1/lumo.1
if command -v groff >/dev/null; then
  check "groff renders the installed man page without warnings" \
    test -z "$(groff -man -ww -Tutf8 "$page" 2>&1 >/dev/null)"
  rendered=$(groff -man -Tascii -P-cbou "$page")
  check "the rendered man page names lumo $version" matches "lumo $version" "$rendered"
  check "the rendered man page documents --show-palette" matches '--show-palette' "$rendered"
else
  check "groff is installed to render the man page (groff-base)" false
fi

echo "package: $passed passed, $failed failed"
((failed == 0))
