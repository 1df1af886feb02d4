#!/usr/bin/env bash
# Installs the build into a scratch tree and checks what a desktop reads from it: the settings
# entry, the AppStream data (which must find that entry) and the icon the entry names, in every size.
# Usage: desktop_data_test.sh BUILD_DIR
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --install "$build" --prefix "$scratch/usr" >/dev/null
share=$scratch/usr/share
status=0

entry=$share/applications/io.github.folivane.Folivane.desktop
# desktop-file-validate exits 0 on hints; any line it prints is a fault here.
report=$(desktop-file-validate "$entry" 2>&1) || status=1
if [ -n "$report" ]; then echo "$report"; status=1; fi

appstreamcli validate-tree --no-net "$scratch/usr" || status=1

icon=$(sed -n 's/^Icon=//p' "$entry")
for size in 16 32 48 64 128 256; do
  png=$share/icons/hicolor/${size}x$size/apps/$icon.png
  if [ ! -f "$png" ]; then echo "missing $png"; status=1; continue; fi
  # A PNG's width and height are the big-endian words at bytes 16 and 20.
  read -r -a dims <<<"$(od -An -tu1 -j16 -N8 "$png")"
  width=$(( (dims[0] << 24) | (dims[1] << 16) | (dims[2] << 8) | dims[3] ))
  height=$(( (dims[4] << 24) | (dims[5] << 16) | (dims[6] << 8) | dims[7] ))
  if [ "$width" -ne "$size" ] || [ "$height" -ne "$size" ]; then
    echo "$png is ${width}x$height"; status=1
  fi
done
[ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] || { echo "no scalable $icon.svg"; status=1; }
exit $status
