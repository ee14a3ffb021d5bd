#!/usr/bin/env bash
# Builds everything and runs every test: native unit tests under ASan+UBSan, the Windows build's
# tests under Wine (unit, integration against the simulated player, end-to-end with xdotool),
# and the subtitle-loading fuzzer for a bounded time. Installs what is missing first.
#
#   scripts/test.sh                 everything
#   QUORVANE_FUZZ_SECONDS=0 ...     skip the fuzzing run
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)
fuzz_seconds=${QUORVANE_FUZZ_SECONDS:-60}

"$root/scripts/install-deps.sh"

status=0
step() { echo; echo "==== $*"; }

step "native build (ASan + UBSan)"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_SANITIZE=ON >/dev/null
cmake --build build/native -j"$jobs"
step "native tests"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/native --output-on-failure -j"$jobs" || status=1

step "Windows build (MinGW-w64 i686)"
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win -j"$jobs"

step "Windows tests under Wine"
. "$root/scripts/wine-env.sh"
wine_session_start
trap wine_session_stop EXIT
ctest --test-dir build/win --output-on-failure || status=1

if [ "$fuzz_seconds" -gt 0 ] && [ -f fuzz/CMakeLists.txt ]; then
  step "fuzzing the subtitle loader for ${fuzz_seconds}s"
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_FUZZ=ON >/dev/null
  cmake --build build/fuzz -j"$jobs" --target fuzz_load_subtitles
  "$root/fuzz/run.sh" build/fuzz "$fuzz_seconds" || status=1
fi

echo
if [ $status -eq 0 ]; then echo "ALL TESTS PASSED"; else echo "SOME TESTS FAILED"; fi
exit $status
