#!/usr/bin/env bash
# Our installer against an NSIS installer, side by side in one run under the same Wine (a
# fresh prefix, Xvfb): process start to the welcome page, click on the install button to
# the finish page (bench/launch_timer/wizard_timer.cpp), and the sizes of both stubs; the
# start of a bare window (bench/launch_timer/bare_window.cpp) in the same runs.
#
#   bench/run_launch_bench.sh [--runs N] [--nsis-compressor zlib|lzma] [--managed]
#
# Both installers carry the same 1 MB of random bytes (incompressible) as the screensaver
# and the same licence text. Ours is built by scrpack onto build/win/bin/scrsetup.exe with
# --no-version-check, and the stand-in Flash player is registered in the prefix so that it
# reaches its welcome page; the NSIS one from bench/nsis/reference.nsi (zlib by default,
# the algorithm ours uses). Needs makensis (Debian package nsis), wine and xvfb-run.
# Builds what it needs; output and the prefix go to build/launch-bench/, the figures also
# to build/launch-bench/results.txt.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
RUNS=10
COMPRESSOR=zlib
MANAGED=no
while (($#)); do
  case $1 in
    --runs) RUNS=$2; shift 2 ;;
    --nsis-compressor) COMPRESSOR=$2; shift 2 ;;
    --managed) MANAGED=yes; shift ;;
    *) echo "usage: $0 [--runs N] [--nsis-compressor zlib|lzma] [--managed]" >&2; exit 2 ;;
  esac
done
for tool in makensis wine xvfb-run; do
  command -v $tool >/dev/null || { echo "$tool not found (packages: nsis wine xvfb)" >&2; exit 1; }
done

cd "$ROOT"
OUT=build/launch-bench
mkdir -p "$OUT"
. "$ROOT/bench/common.sh"

say "building scrpack (host), scrsetup, the stand-in player, wizard_timer and bare_window (Windows)"
build_for_bench scrsetup standin_player_new wizard_timer bare_window

# 1 MB that does not compress, like a real payload (kept, so reruns carry the same bytes).
[ -s "$OUT/BenchSaver.scr" ] || head -c 1048576 /dev/urandom >"$OUT/BenchSaver.scr"

say "building the installers"
build/host/bin/scrpack build --stub build/win/bin/scrsetup.exe --scr "$OUT/BenchSaver.scr" --name BenchSaver \
  --title "BenchSaver スクリーンセーバー　インストーラー" --eula bench/nsis/license.txt --no-version-check \
  -o "$OUT/ours-setup.exe"
makensis -V2 -DCOMPRESSOR="$COMPRESSOR" -DPAYLOAD="$ROOT/$OUT/BenchSaver.scr" \
  -DOUTFILE="$ROOT/$OUT/nsis-setup.exe" bench/nsis/reference.nsi
makensis -V2 -DCOMPRESSOR="$COMPRESSOR" -DEMPTY -DOUTFILE="$ROOT/$OUT/nsis-empty.exe" bench/nsis/reference.nsi
x86_64-w64-mingw32-strip -o "$OUT/scrsetup-stripped.exe" build/win/bin/scrsetup.exe

size() { stat -c %s "$1"; }
OURS_STUB=$(size "$OUT/scrsetup-stripped.exe")
NSIS_STUB=$(size "$OUT/nsis-empty.exe")

export WINEPREFIX="$ROOT/$OUT/wineprefix" WINEDEBUG=-all WINEARCH=win64
rm -rf "$WINEPREFIX"
say "wineboot ($WINEPREFIX) and timing"
# One X server and one wineserver for the whole run, so no run pays for their start-up.
if xvfb-run -a -s "-screen 0 1280x1024x24" bash -s "$RUNS" "$OUT" "$MANAGED" >"$OUT/timer.txt" <<'INNER'
set -euo pipefail
runs=$1 out=$2 managed=$3
WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || true
wineserver -w
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# Starts the desktop and services now, detached, rather than inside the first timed run.
wine cmd /c exit </dev/null >/dev/null 2>&1
# No window manager runs under Xvfb, and Wine waits up to 2 s for one to confirm that a
# top-level window it manages was hidden: unmanaged windows, as a desktop with a window
# manager would not make anyone wait (--managed measures the plain Xvfb case).
[ "$managed" = yes ] || wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
# The stand-in Flash player, registered for the machine as the tests do.
key='HKCR\CLSID\{D27CDB6E-AE6D-11CF-96B8-444553540000}\InprocServer32'
wine reg add "$key" /ve /d "$(winepath -w build/win/bin/standin_player_new.dll)" /f >/dev/null 2>&1
wine reg add "$key" /v ThreadingModel /d Apartment /f >/dev/null 2>&1
wine build/win/bin/wizard_timer.exe --runs "$runs" --ours "$(winepath -w "$out/ours-setup.exe")" \
  --nsis "$(winepath -w "$out/nsis-setup.exe")" --bare "$(winepath -w build/win/bin/bare_window.exe)" --ours-entry BenchSaver --dest-root 'C:\wizard-bench' </dev/null | tr -d '\r'
INNER
then
  cat "$OUT/timer.txt" >&2
else
  cat "$OUT/timer.txt" >&2
  echo "the timing run failed" >&2
  exit 1
fi

field() { # label measure -> median
  awk -v l="$1" -v m="$2" '$1 == "RESULT" && $2 == l && $3 == m { print $5 }' "$OUT/timer.txt"
}
{
  echo "runs: $RUNS (medians, ms), NSIS compressor: $COMPRESSOR, Wine-managed windows: $MANAGED, $(wine --version)"
  echo "| measure | ours | NSIS |"
  echo "|---|---|---|"
  echo "| start to welcome page | $(field scrsetup launch_to_welcome_ms) | $(field NSIS launch_to_welcome_ms) |"
  echo "| start to the welcome page's Next enabled | $(field scrsetup launch_to_ready_ms) | $(field NSIS launch_to_ready_ms) |"
  echo "| start of a bare window | $(field bare launch_to_welcome_ms) | |"
  echo "| ours against NSIS, against the bare window | $(awk -v o="$(field scrsetup launch_to_welcome_ms)" \
    -v n="$(field NSIS launch_to_welcome_ms)" -v b="$(field bare launch_to_welcome_ms)" \
    'BEGIN { printf "%.2fx, %.2fx", o / n, o / b }') | |"
  echo "| install click to finish page | $(field scrsetup install_to_finish_ms) | $(field NSIS install_to_finish_ms) |"
  echo "| stub without payload (bytes) | $OURS_STUB | $NSIS_STUB |"
  echo "| installer with the 1 MB screensaver (bytes) | $(size "$OUT/ours-setup.exe") | $(size "$OUT/nsis-setup.exe") |"
} | tee "$OUT/results.txt"
