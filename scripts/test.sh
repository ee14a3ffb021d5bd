#!/usr/bin/env bash
# Builds everything and runs every test: native unit tests under ASan+UBSan, the Windows builds'
# tests under Wine (unit, integration against the simulated player and the real VLC, end-to-end
# with xdotool), and the subtitle-loading fuzzer for a bounded time. Installs what is missing first.
#
# Both Windows builds are made: x86_64 (build/win64) and i686 (build/win). Every Windows test runs
# on the 64-bit build; where this machine also runs 32-bit programs (found by running 32-bit
# Wine, never guessed), the same tests run on the 32-bit build too, but the long checks (soak,
# installer) run once: the soak on the 32-bit build, the installer test on the 64-bit one. The
# log's first and last lines say which architectures ran and which could not, and why.
#
#   scripts/test.sh                     everything
#   QUORVANE_FUZZ_SECONDS=0 ...         skip the fuzzing run
#   QUORVANE_WINE_ARCHS="win64" ...     test only these architectures (the others are named as left out)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)
fuzz_seconds=${QUORVANE_FUZZ_SECONDS:-60}
wanted=" ${QUORVANE_WINE_ARCHS:-win64 win32} "

deps_log=$(mktemp)
if ! "$root/scripts/install-deps.sh" >"$deps_log" 2>&1; then
  echo "==== test.sh: installing what the tests need failed"; cat "$deps_log"; exit 1
fi

. "$root/scripts/wine-env.sh"
declare -A build_of=([win64]=build/win64 [win32]=build/win)
declare -A toolchain_of=([win64]=mingw-x86_64 [win32]=mingw-i686)
declare -A name_of=([win64]="win64 (x86_64 build)" [win32]="win32 (i686 build)")
runs=() cannot=()
for arch in win64 win32; do
  if [[ $wanted != *" $arch "* ]]; then
    cannot+=("${name_of[$arch]}: left out by QUORVANE_WINE_ARCHS")
  elif wine_arch_runs "$arch"; then
    runs+=("$arch")
  else
    cannot+=("${name_of[$arch]}: $wine_arch_reason")
  fi
done
archs_line() {
  local ran="none" not=""
  [ ${#runs[@]} -gt 0 ] && ran=$(for a in "${runs[@]}"; do printf '%s, ' "${name_of[$a]}"; done | sed 's/, $//')
  [ ${#cannot[@]} -gt 0 ] && not="; not run: $(printf '%s; ' "${cannot[@]}" | sed 's/; $//')"
  echo "Windows tests on $ran$not"
}
echo "==== $(archs_line)"
# An architecture that was to run but cannot after all is named with the reason in the last line.
not_run() {
  cannot+=("${name_of[$1]}: $2")
  local kept=() a
  for a in "${runs[@]}"; do [ "$a" = "$1" ] || kept+=("$a"); done
  runs=("${kept[@]}")
}
cat "$deps_log"; rm -f "$deps_log"

status=0
results=()
step() { echo; echo "==== $*"; }

step "native build (ASan + UBSan)"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_SANITIZE=ON >/dev/null || status=1
cmake --build build/native -j"$jobs" || status=1
step "native tests"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/native --output-on-failure -j"$jobs" || status=1

# Both builds are made on every machine: what cannot run here still has to compile.
for arch in win64 win32; do
  step "Windows build ${name_of[$arch]} in ${build_of[$arch]}"
  if ! { cmake -S . -B "${build_of[$arch]}" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/${toolchain_of[$arch]}.cmake" \
           -DCMAKE_BUILD_TYPE=Release >/dev/null && cmake --build "${build_of[$arch]}" -j"$jobs"; }; then
    status=1
    results+=("${name_of[$arch]}: the build failed")
    [[ " ${runs[*]} " == *" $arch "* ]] && not_run "$arch" "the build failed"
  fi
done

trap wine_session_stop EXIT
for arch in "${runs[@]}"; do
  # The long checks run once where both architectures run.
  leave_out=()
  if [[ " ${runs[*]} " == *" win64 "* && " ${runs[*]} " == *" win32 "* ]]; then
    [ "$arch" = win64 ] && leave_out=(-LE soak)
    [ "$arch" = win32 ] && leave_out=(-LE installer)
  fi
  step "Windows tests under ${arch} Wine: ${name_of[$arch]}${leave_out:+ (the ${leave_out[1]} check runs on the other build)}"
  began=$SECONDS
  if ! wine_session_start "$arch"; then
    status=1
    results+=("${name_of[$arch]}: the Wine session did not start")
    not_run "$arch" "the Wine session did not start (its reason is above)"
    continue
  fi
  if ctest --test-dir "${build_of[$arch]}" --output-on-failure "${leave_out[@]}"; then
    verdict=passed
  else
    verdict=failed
    status=1
  fi
  wine_session_stop
  results+=("${name_of[$arch]}: $verdict in $(((SECONDS - began) / 60))m$(printf %02d $(((SECONDS - began) % 60)))s")
done
if [ ${#runs[@]} -eq 0 ]; then
  status=1
  results+=("no Windows architecture could run here: the Windows tests did not run")
fi

if [ "$fuzz_seconds" -gt 0 ] && [ -f fuzz/CMakeLists.txt ]; then
  step "fuzzing the subtitle loader for ${fuzz_seconds}s"
  { CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_FUZZ=ON >/dev/null &&
    cmake --build build/fuzz -j"$jobs" --target fuzz_load_subtitles &&
    "$root/fuzz/run.sh" build/fuzz "$fuzz_seconds"; } || status=1
fi

echo
for r in "${results[@]}"; do echo "  $r"; done
if [ $status -eq 0 ]; then verdict="ALL TESTS PASSED"; else verdict="SOME TESTS FAILED"; fi
echo "$verdict · $(archs_line)"
exit $status
