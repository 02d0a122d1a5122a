#!/usr/bin/env bash
# Launch-time benchmark under Wine: builds the NSIS reference installer (bench/nsis) and
# times its first window with launch_timer.exe, in a fresh Wine prefix under Xvfb.
#
#   bench/run_launch_bench.sh [--runs N] [INSTALLER.exe [TITLE-PART]]
#
# With INSTALLER.exe, that installer is timed as well (TITLE-PART, when given, selects its
# window by title). Needs makensis (Debian package nsis), wine and xvfb-run.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
RUNS=10
if [ "${1:-}" = "--runs" ]; then RUNS=$2; shift 2; fi
OTHER=${1:-}
OTHER_TITLE=${2:-}

command -v makensis >/dev/null || { echo "makensis not found: apt-get install -y nsis" >&2; exit 1; }

OUT="$ROOT/build/launch-bench"
mkdir -p "$OUT"
# 1 MB that does not compress, like a real payload.
[ -s "$OUT/payload.bin" ] || head -c 1048576 /dev/urandom >"$OUT/payload.bin"
makensis -V2 -DPAYLOAD="$OUT/payload.bin" -DOUTFILE="$OUT/reference-setup.exe" "$ROOT/bench/nsis/reference.nsi"

if [ ! -f "$ROOT/build/win/CMakeCache.txt" ]; then
  cmake -S "$ROOT" -B "$ROOT/build/win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" >/dev/null
fi
cmake --build "$ROOT/build/win" --target launch_timer >/dev/null
TIMER="$ROOT/build/win/bin/launch_timer.exe"

export WINEPREFIX="$OUT/wineprefix"
export WINEDEBUG=-all
export WINEARCH=win64
rm -rf "$WINEPREFIX"

# One X server and one wineserver for the whole run, so later runs do not pay for start-up.
xvfb-run -a bash -s "$TIMER" "$OUT/reference-setup.exe" "$RUNS" "$OTHER" "$OTHER_TITLE" <<'INNER'
set -euo pipefail
timer=$1 reference=$2 runs=$3 other=$4 other_title=$5
WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || true
wineserver -w
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# The timer starts programs through CreateProcess, which wants Windows paths.
reference_w=$(winepath -w "$reference")
# A first start warms the prefix (font cache, registry), like a machine that has booted.
wine "$timer" "$reference_w" --runs 1 >/dev/null 2>&1 || true
echo "== NSIS reference installer ($(stat -c %s "$reference") bytes)"
wine "$timer" "$reference_w" --runs "$runs"
if [ -n "$other" ]; then
  echo "== $(basename "$other") ($(stat -c %s "$other") bytes)"
  other_w=$(winepath -w "$other")
  if [ -n "$other_title" ]; then
    wine "$timer" "$other_w" --runs "$runs" --window-title-contains "$other_title"
  else
    wine "$timer" "$other_w" --runs "$runs"
  fi
fi
INNER
