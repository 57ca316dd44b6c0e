#!/usr/bin/env bash
# Builds the engine and develops the sample camera RAW file into out/sample.jpg.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=Release -DVANTORIX_TESTS=OFF -DVANTORIX_BENCH=OFF
mkdir -p "$root/out"
"$root/build/vantorix" develop "$root/samples/canon_powershot_g2_CRW_0304.CRW" "$root/out/sample.jpg" \
  --brightness 10 --contrast 15 --quality 92 "$@"
echo "developed: $root/out/sample.jpg"
