#!/usr/bin/env bash
# Builds the .deb from a finished build, unpacks it into a scratch root as
# dpkg would install it, and runs the installed programs from there.
#   package_test.sh BUILD_DIR
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }

deb=$("$source_dir/scripts/package" --build-dir "$build_dir" --output "$scratch" 2>"$scratch/package.log") ||
  { cat "$scratch/package.log" >&2; fail "scripts/package failed"; }
listing=$(dpkg -c "$deb")
for file in usr/bin/vostrel usr/bin/pallock usr/bin/scoring-stub usr/bin/amp-emulator \
            usr/bin/eol-convert usr/bin/ssvep-eval usr/share/doc/eeg-workstation/copyright \
            usr/share/vostrel/kestrom.dll usr/share/applications/vostrel.desktop \
            usr/share/applications/pallock.desktop usr/share/icons/hicolor/48x48/apps/vostrel.png \
            usr/share/icons/hicolor/48x48/apps/pallock.png; do
  grep -q " \./$file\$" <<<"$listing" || fail "$file is not in the package"
done
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libqt6network6 libfftw3-double3 qt6-qpa-plugins; do
  grep -q "$package" <<<"$depends" || fail "Depends lacks $package: $depends"
done

root=$scratch/root
dpkg -x "$deb" "$root"
vostrel=$root/usr/bin/vostrel

# Help needs no display, and names the electrode file the installed program found.
help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$vostrel" --help) || fail "vostrel --help failed"
grep -q '^usage: vostrel' <<<"$help" || fail "vostrel --help printed no usage"
grep -q "default: $root/usr/share/vostrel/kestrom.dll " <<<"$help" || fail "the installed electrode file is not found"

# Two seconds of acquisition from the emulator, recorded.
record=$scratch/take.EOL
status=0
QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$scratch/config \
  "$vostrel" --amplifier emulator --serve --port 0 --start --record "$record" --quit-after 2 \
  >"$scratch/out.log" 2>"$scratch/err.log" || status=$?
[ "$status" -eq 0 ] || { cat "$scratch/err.log" >&2; fail "vostrel exited with status $status"; }
grep -q '^listening on port [1-9]' "$scratch/out.log" || fail "no listening port announced"
size=$(stat -c %s "$record")
[ "$size" -gt 200 ] && [ $(( (size - 200) % 3360 )) -eq 0 ] || fail "recording of $size bytes is not whole packets"
echo "package test: $(basename "$deb") installs and acquires ($size bytes recorded)"
