#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 30).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${1:-30}"
bash "$root/scripts/install-deps.sh"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja -DHT6630_WITH_QT=OFF -DHT6630_BENCH=OFF \
  -DHT6630_FUZZ=ON -DHT6630_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build"
status=0
for f in "$build"/bin/fuzz_*; do
  [ -x "$f" ] || continue
  name="$(basename "$f")"
  corpus="$build/corpus-$name"; mkdir -p "$corpus"
  seeds=()
  [ -d "$root/fuzz/seeds/$name" ] && seeds=("$root/fuzz/seeds/$name")
  echo "== $name: ${seconds}s"
  if ! "$f" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 "$corpus" "${seeds[@]}" \
        >"$build/$name.log" 2>&1; then
    echo "FINDING in $name:"; tail -n 60 "$build/$name.log"; status=1
  else
    grep -E 'stat::number_of_executed_units|cov:' "$build/$name.log" | tail -n 2
  fi
done
exit $status
