#!/usr/bin/env bash
# Builds everything and runs the whole test suite (unit, tool, simulator and
# end-to-end tests of the real console, headless).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
bash "$root/scripts/install-deps.sh"
BUILD_DIR="$build" bash "$root/scripts/build.sh" "$@"
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j2 --timeout 900
