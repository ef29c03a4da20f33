#!/usr/bin/env bash
# Builds the Debian package ht6630-console_<version>_amd64.deb (Release build in
# build-package/), checks it with lintian, desktop-file-validate and appstreamcli,
# and prints the package's path as its last line.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh" >&2
build="${PACKAGE_BUILD_DIR:-$root/build-package}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHT6630_BENCH=OFF >&2
cmake --build "$build" >&2
deb="$(bash "$root/scripts/make-deb.sh" "$build")"
echo "$deb"
