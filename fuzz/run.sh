#!/usr/bin/env bash
# Runs the subtitle-loading fuzzer for a bounded time on a fresh copy of the committed seeds.
#   fuzz/run.sh BUILD_DIR SECONDS      (BUILD_DIR configured with -DQUORVANE_FUZZ=ON)
# Exits non-zero when the fuzzer finds a crash, a leak, a hang or runs out of memory; the
# reproducer is left in BUILD_DIR/fuzz-artifacts/.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: fuzz/run.sh BUILD_DIR SECONDS}
seconds=${2:?usage: fuzz/run.sh BUILD_DIR SECONDS}
fuzzer=$build/fuzz/fuzz_load_subtitles
[ -x "$fuzzer" ] || { echo "run.sh: $fuzzer not built" >&2; exit 2; }

corpus=$build/fuzz-corpus
artifacts=$build/fuzz-artifacts
rm -rf "$corpus"
mkdir -p "$corpus" "$artifacts"
cp "$here"/corpus/* "$corpus"/

"$fuzzer" "$corpus" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
  -artifact_prefix="$artifacts/" -print_final_stats=1
