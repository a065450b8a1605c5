#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR, checks that every file a desktop needs is in its
# place, and runs the installed trimora-cli once; then builds the .deb into the scratch folder
# and has lintian check it, when lintian is installed (`make test` installs it): any error or
# warning fails the test.
#
#   check_install.sh BUILD_DIR SCRATCH_DIR
set -euo pipefail

BUILD=${1:?usage: check_install.sh BUILD_DIR SCRATCH_DIR}
SCRATCH=${2:?usage: check_install.sh BUILD_DIR SCRATCH_DIR}
rm -rf "$SCRATCH"
trap 'rm -rf "$SCRATCH"' EXIT

DESTDIR="$SCRATCH" cmake --install "$BUILD" --prefix /opt/trimora >/dev/null
root="$SCRATCH/opt/trimora"

missing=0
for file in bin/trimora bin/trimora-cli libexec/trimora/trimora-frame libexec/trimora/trimora-scan \
            libexec/trimora/trimora-cut share/doc/trimora/usage.html share/doc/trimora/copyright \
            share/doc/trimora/changelog.gz share/man/man1/trimora.1.gz share/man/man1/trimora-cli.1.gz \
            share/applications/org.trimora.Trimora.desktop share/metainfo/org.trimora.Trimora.metainfo.xml \
            share/mime/packages/trimora.xml share/icons/hicolor/scalable/apps/trimora.svg \
            share/icons/hicolor/16x16/apps/trimora.png share/icons/hicolor/256x256/apps/trimora.png; do
  if [ ! -s "$root/$file" ]; then echo "not installed: $file" >&2; missing=1; fi
done
[ "$missing" = 0 ]

usage=$("$root/bin/trimora-cli" --help)
grep -q 'cut \[--measure\] \[--clean\] \[--verify\] \[--chapters FILE\] FILE START END \[START END\]\.\.\. TARGET' <<<"$usage"
echo "installed under $root; trimora-cli runs"

if ! command -v lintian >/dev/null; then
  echo "lintian is not installed: the package is not checked"
  exit 0
fi
(cd "$BUILD" && cpack -G DEB -B "$SCRATCH/package" >/dev/null)
deb=$(ls "$SCRATCH"/package/trimora_*.deb)
lintian --fail-on error,warning "$deb"
echo "lintian: no errors, no warnings in $(basename "$deb")"
