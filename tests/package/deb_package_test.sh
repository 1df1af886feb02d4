#!/usr/bin/env bash
# Builds the Debian package from a copy of the source tree, checks it with lintian, installs it on
# this machine, prints the sample with the installed folivane-pdf and removes the package again.
# It installs into the system, so it runs only as root and reports itself skipped (77) otherwise.
# Usage: deb_package_test.sh SOURCE_DIR
set -euo pipefail
root=$1
skipped=77

if [ "$(id -u)" -ne 0 ]; then
  echo "needs root for dpkg -i: skipped"; exit $skipped
fi
if dpkg-query -W -f='${Status}' folivane 2>/dev/null | grep -q 'ok installed'; then
  echo "a folivane package is installed already; it is left alone: skipped"; exit $skipped
fi

scratch=$(mktemp -d)
installed=no
# dpkg gives up at once while apt or another dpkg holds its lock; wait for that a while.
dpkg_when_free() {
  local output
  for _ in $(seq 120); do
    if output=$(dpkg "$@" 2>&1); then echo "$output"; return 0; fi
    grep -qi 'lock' <<<"$output" || { echo "$output"; return 1; }
    sleep 5
  done
  echo "$output"; return 1
}
cleanup() {
  if [ "$installed" = yes ]; then dpkg_when_free -r folivane >/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

# The copy holds the working tree's files (tracked or new, not ignored), so the build sees the
# current state and leaves nothing behind in the repository.
mkdir "$scratch/folivane"
if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git -C "$root" ls-files -z --cached --others --exclude-standard |
    tar -C "$root" --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -C "$scratch/folivane" -xf -
else
  tar -C "$root" --exclude='./build*' --exclude='./obj-*' -cf - . | tar -C "$scratch/folivane" -xf -
fi

echo "== dpkg-source"
# The source package too, from the pristine copy, so that lintian sees debian/ as a whole.
(cd "$scratch" && dpkg-source -b folivane >/dev/null)

echo "== dpkg-buildpackage"
if ! (cd "$scratch/folivane" && DEB_BUILD_OPTIONS="parallel=2 nocheck" dpkg-buildpackage -us -uc -b) \
    >"$scratch/build.log" 2>&1; then
  tail -n 60 "$scratch/build.log"; exit 1
fi
deb=$(echo "$scratch"/folivane_*.deb)
[ -f "$deb" ] || { echo "no folivane_*.deb"; ls "$scratch"; exit 1; }
echo "built $(basename "$deb")"

echo "== lintian"
lintian --fail-on error,warning "$scratch"/folivane_*.dsc "$scratch"/folivane_*.changes

listing=$(dpkg-deb -c "$deb" | awk '{ print substr($6, 2) }')
for path in /usr/bin/folivane /usr/bin/folivane-pdf /usr/share/man/man1/folivane.1.gz \
    /usr/share/man/man1/folivane-pdf.1.gz /usr/share/bash-completion/completions/folivane-pdf \
    /usr/share/applications/io.github.folivane.Folivane.desktop \
    /usr/share/metainfo/io.github.folivane.Folivane.metainfo.xml \
    /usr/share/icons/hicolor/scalable/apps/folivane.svg; do
  grep -qxF "$path" <<<"$listing" || { echo "the package lacks $path"; exit 1; }
done

echo "== dpkg -i"
installed=yes
dpkg_when_free -i "$deb" | tail -n 3

echo "== /usr/bin/folivane-pdf"
mkdir "$scratch/home"
HOME=$scratch/home XDG_CONFIG_HOME=$scratch/home /usr/bin/folivane-pdf \
  "$root/data/sample/Greenhouse.pb" "$scratch/Greenhouse.pdf"
pages=$(pdfinfo "$scratch/Greenhouse.pdf" | sed -n 's/^Pages: *//p')
echo "pages: $pages"
[ "${pages:-0}" -gt 0 ]

echo "== dpkg -r"
dpkg_when_free -r folivane | tail -n 1
installed=no
[ ! -e /usr/bin/folivane-pdf ] || { echo "/usr/bin/folivane-pdf is still there"; exit 1; }
