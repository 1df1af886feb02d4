#!/usr/bin/env bash
# The project's one version, set in CMake's project(), is what the package's changelog, both
# programs, the man pages and the AppStream data say.
# Usage: version_test.sh VERSION SOURCE_DIR BUILD_DIR FOLIVANE FOLIVANE_PDF
set -uo pipefail
version=$1
root=$2
build=$3
status=0
differs() { echo "$1 says \"$2\", the project $version"; status=1; }

changelog=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
[ "$changelog" = "$version" ] || differs debian/changelog "$changelog"
said=$("$4" --version) && [ "$said" = "folivane $version" ] || differs "folivane --version" "$said"
said=$("$5" --version) && [ "$said" = "folivane-pdf $version" ] || differs "folivane-pdf --version" "$said"
for page in folivane folivane-pdf; do
  header=$(grep -m1 '^\.TH' "$build/data/man/$page.1")
  grep -qF " $version\"" <<<"$header" || differs "$page(1)" "$header"
done
release=$(grep -m1 -o '<release version="[^"]*"' "$build/data/io.github.folivane.Folivane.metainfo.xml")
[ "$release" = "<release version=\"$version\"" ] || differs "the AppStream data" "$release"
exit $status
