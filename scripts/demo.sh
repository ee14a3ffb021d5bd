#!/usr/bin/env bash
# The main job: builds the programs and shows what Quorvane does with a bundled sample.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/install-deps.sh"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$(nproc)" --target quorvane-srt
for f in samples/*.srt; do
  echo "== $f (Simplified Chinese system)"
  build/release/quorvane-srt --lang zh-CN "$f"
done
