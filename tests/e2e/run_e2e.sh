#!/usr/bin/env bash
# Runs one end-to-end test. Inside scripts/test.sh the Wine session (Xvfb, prefix, wineserver) is
# already up; run alone, this starts one for the test and ends it afterwards.
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/wine-env.sh"
if [ -z "${QUORVANE_DISPLAY:-}" ]; then
  wine_session_start || exit 1
  trap wine_session_stop EXIT
fi
"$@"
