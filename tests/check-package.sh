#!/usr/bin/env bash
# Builds the .deb from a build tree with cpack, in a folder of its own, and checks what it
# holds: the program in lib/orven with every cue the program plays beside it (the numbers
# read from common/sound_cues.h, the files the build's chosen set), bin/orven linking to
# it, the icon, the .desktop file starting `orven` from PATH, and the run-time libraries
# the program opens by name among its dependencies.
#
# Usage: tests/check-package.sh <build folder> <source folder>
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "check-package: $*" >&2; failures=$((failures + 1)); }

cpack -G DEB -B "$work" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; exit 1; }
debs=("$work"/orven_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || { echo "check-package: no single orven_*.deb" >&2; exit 1; }
deb=${debs[0]}

# "<mode> <owner> <size> <date> <time> ./path[ -> target]" per entry.
listing=$(dpkg-deb -c "$deb" | awk '{ $1 = substr($1, 1, 1) substr($1, 4, 1); $2 = $3 = $4 = $5 = ""; print }' |
  sed 's/^ *//; s/  */ /g')
has() {  # kind (- file, l link, d folder) + x for executables, path[ -> target]
  grep -qxF -- "$1 $2" <<<"$listing" || fail "no $2 (kind $1) in the package"
}
has -x ./usr/lib/orven/orven
has lx "./usr/bin/orven -> ../lib/orven/orven"
has -- ./usr/share/applications/orven.desktop
for size in 48 128; do has -- "./usr/share/icons/hicolor/${size}x${size}/apps/orven.png"; done
cues=$(sed -n 's/^constexpr int [A-Za-z]*Cue = \([0-9]*\);.*/\1/p' "$source/common/sound_cues.h")
[ "$(wc -w <<<"$cues")" -ge 11 ] || fail "only these cues found in common/sound_cues.h: $cues"
for n in $cues; do has -- "./usr/lib/orven/sounds/$n.wav"; done

dpkg-deb -x "$deb" "$work/root"
for n in $cues; do
  cmp -s "$work/root/usr/lib/orven/sounds/$n.wav" "$build/sounds/$n.wav" ||
    fail "cue $n differs from the build's"
done
desktop=$work/root/usr/share/applications/orven.desktop
grep -qx 'Exec=orven' "$desktop" || fail "the .desktop file does not start orven from PATH"
grep -qx 'Icon=orven' "$desktop" || fail "the .desktop file does not name the icon"
depends=$(dpkg-deb -f "$deb" Depends)
for package in libsdl2-2.0-0 libfreetype6 libpng16-16 fonts-wine fonts-dejavu-core; do
  grep -q "\b$package\b" <<<"$depends" || fail "Depends lacks $package: $depends"
done

[ "$failures" -eq 0 ] || { echo "--- dpkg-deb -c:" >&2; dpkg-deb -c "$deb" >&2; exit 1; }
echo "check-package: $(basename "$deb") holds the program, $(wc -w <<<"$cues") cues, the icon and the .desktop file"
