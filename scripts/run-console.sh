#!/usr/bin/env bash
# Builds the console and starts it. Arguments go to the console.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
exec "${BUILD_DIR:-$root/build}/bin/ht6630-console" "$@"
