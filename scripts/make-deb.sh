#!/usr/bin/env bash
# Packs an existing build folder into the Debian package and lints it; prints the
# package's path as its last line. Usage: scripts/make-deb.sh BUILD_DIR [OUT_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)"
out="${2:-$build/package}"
mkdir -p "$out"
(cd "$build" && cpack -G DEB -B "$out" >&2)
deb="$(ls -t "$out"/ht6630-console_*_amd64.deb | head -1)"
desktop-file-validate "$root/packaging/io.github.ht6630.Console.desktop" >&2
appstreamcli validate --no-net --pedantic "$root/packaging/io.github.ht6630.Console.metainfo.xml" >&2
# Errors fail the build; warnings are shown.
lintian --fail-on error --suppress-tags no-manual-page "$deb" >&2
echo "$deb"
