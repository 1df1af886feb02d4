#!/usr/bin/env bash
# Builds the Debian packages folivane and folivane-pdf from a copy of the source tree, checks them
# with lintian, installs them on this machine, runs the autopkgtest's check (the installed
# folivane-pdf prints the sample) and removes them again.
# It installs into the system, so it runs only as root and reports itself skipped (77) otherwise.
# Usage: deb_package_test.sh SOURCE_DIR
set -euo pipefail
root=$1
skipped=77

if [ "$(id -u)" -ne 0 ]; then
  echo "needs root for dpkg -i: skipped"; exit $skipped
fi
if dpkg-query -W -f='${Status}\n' folivane folivane-pdf 2>/dev/null | grep -q 'ok installed'; then
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
  if [ "$installed" = yes ]; then dpkg_when_free -r folivane folivane-pdf >/dev/null || true; fi
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
if ! (cd "$scratch/folivane" && DEB_BUILD_OPTIONS="parallel=2 nocheck" DEB_BUILD_PROFILES=nocheck dpkg-buildpackage -us -uc -b) \
    >"$scratch/build.log" 2>&1; then
  tail -n 60 "$scratch/build.log"; exit 1
fi
desktop_deb=$(echo "$scratch"/folivane_*.deb)
pdf_deb=$(echo "$scratch"/folivane-pdf_*.deb)
for deb in "$desktop_deb" "$pdf_deb"; do
  [ -f "$deb" ] || { echo "missing $deb"; ls "$scratch"; exit 1; }
  echo "built $(basename "$deb")"
done

echo "== lintian"
# Not a tag, not even an informational one. (Its note on running as root goes to stderr.)
if ! report=$(lintian --display-info "$scratch"/folivane_*.dsc "$scratch"/folivane_*.changes 2>"$scratch/lintian.err") ||
    [ -n "$report" ]; then
  echo "$report"; cat "$scratch/lintian.err"; exit 1
fi

has_files() {
  local deb=$1 listing
  shift
  listing=$(dpkg-deb -c "$deb" | awk '{ print substr($6, 2) }')
  for path in "$@"; do
    grep -qxF "$path" <<<"$listing" || { echo "$(basename "$deb") lacks $path"; exit 1; }
  done
}
has_files "$desktop_deb" /usr/bin/folivane /usr/share/man/man1/folivane.1.gz \
  /usr/share/applications/io.github.folivane.Folivane.desktop \
  /usr/share/metainfo/io.github.folivane.Folivane.metainfo.xml \
  /usr/share/icons/hicolor/scalable/apps/folivane.svg
has_files "$pdf_deb" /usr/bin/folivane-pdf /usr/share/man/man1/folivane-pdf.1.gz \
  /usr/share/bash-completion/completions/folivane-pdf
# The command-line tool installs without the desktop's libraries.
pdf_depends=$(dpkg-deb -f "$pdf_deb" Depends)
echo "folivane-pdf depends on: $pdf_depends"
if grep -qE 'libqt6widgets|libqt6printsupport|libcups' <<<"$pdf_depends"; then
  echo "folivane-pdf pulls in the desktop"; exit 1
fi

echo "== dpkg -i"
installed=yes
dpkg_when_free -i "$desktop_deb" "$pdf_deb" | tail -n 3
[ "$(/usr/bin/folivane --version)" = "$(/usr/bin/folivane-pdf --version | sed 's/^folivane-pdf/folivane/')" ]

echo "== debian/tests/prints-sample"
mkdir "$scratch/autopkgtest"
(cd "$scratch/folivane" && AUTOPKGTEST_TMP=$scratch/autopkgtest debian/tests/prints-sample)

echo "== dpkg -r"
dpkg_when_free -r folivane folivane-pdf | tail -n 1
installed=no
for path in /usr/bin/folivane /usr/bin/folivane-pdf; do
  [ ! -e "$path" ] || { echo "$path is still there"; exit 1; }
done
