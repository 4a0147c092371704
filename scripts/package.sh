#!/usr/bin/env bash
# Builds the Debian packages tharvel (the unattended program, manual page and
# systemd units; no Qt) and tharvel-desktop (the window) into build-package/,
# then checks what they hold and what they depend on.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
dir=build-package
cmake -S . -B "$dir" -DCMAKE_INSTALL_PREFIX=/usr -DTHARVEL_TESTS=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)"
rm -f "$dir"/*.deb
cpack --config "$dir/CPackConfig.cmake" -B "$dir" >/dev/null

fail() {
  echo "package check failed: $*" >&2
  exit 1
}
core=$(ls "$dir"/tharvel_*.deb)
desktop=$(ls "$dir"/tharvel-desktop_*.deb)
# Listings are read whole: a grep that stops early must not break dpkg-deb's pipe.
listing() { dpkg-deb -c "$1" | awk '{print $1, $6}'; }
has() { grep -qx "[^ ]* $2" <<<"$(listing "$1")" || fail "$(basename "$1") lacks $2"; }
lacks() { ! grep -q "$2" <<<"$(listing "$1" | cut -d' ' -f2)" || fail "$(basename "$1") holds $2"; }

for f in ./usr/bin/tharvel ./usr/share/man/man1/tharvel.1.gz ./usr/lib/systemd/system/tharvel-backup.service \
  ./usr/lib/systemd/system/tharvel-backup.timer; do has "$core" "$f"; done
lacks "$core" 'tharvel-desktop\|\.desktop$'
for f in ./usr/libexec/tharvel/tharvel-desktop ./usr/share/applications/tharvel.desktop \
  ./usr/share/icons/hicolor/scalable/apps/tharvel.svg; do has "$desktop" "$f"; done
lacks "$desktop" '^./usr/bin/'
grep -qx -- '-rwxr-xr-x ./usr/bin/tharvel' <<<"$(listing "$core")" || fail "tharvel is not executable"

core_depends=$(dpkg-deb -f "$core" Depends)
desktop_depends=$(dpkg-deb -f "$desktop" Depends)
version=$(dpkg-deb -f "$core" Version)
grep -q 'libc6' <<<"$core_depends" || fail "tharvel depends on no C library: $core_depends"
! grep -qi 'qt' <<<"$core_depends" || fail "tharvel depends on Qt: $core_depends"
grep -q "tharvel (= $version)" <<<"$desktop_depends" || fail "tharvel-desktop does not depend on tharvel: $desktop_depends"
grep -q 'libqt6widgets6' <<<"$desktop_depends" || fail "tharvel-desktop lacks its Qt dependency: $desktop_depends"
for script in postinst prerm postrm; do
  dpkg-deb -I "$core" "$script" >/dev/null || fail "tharvel lacks its $script"
done

# The packaged program runs from the unpacked tree and says its version.
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$core" "$root"
dpkg-deb -x "$desktop" "$root"
[ "$("$root/usr/bin/tharvel" --version)" = "tharvel $version" ] || fail "the packaged tharvel does not say $version"
MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/tharvel.1.gz" 2>&1 >/dev/null | (! grep .) ||
  fail "the manual page has warnings"

echo "Packages (version $version):"
for p in "$core" "$desktop"; do
  printf '  %s  %s bytes\n    Depends: %s\n' "$p" "$(stat -c %s "$p")" "$(dpkg-deb -f "$p" Depends)"
done
echo "Install: sudo apt install ./$core ./$desktop"
