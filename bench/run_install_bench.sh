#!/usr/bin/env bash
# Unattended installs of large screensavers against the raw cost of the same work, and
# scrpack's memory, in one run under the same Wine (a fresh prefix):
#
#   bench/run_install_bench.sh [--runs N] [--sizes "1 128"]
#
# For each size (MiB) a screensaver-like file (random bytes with runs of text: it deflates
# to about 79 %) is packed with scrpack (its wall time and peak memory measured by
# /usr/bin/time), then, alternating N times (7 by default, after one warm-up run of each
# that is not counted): "/S /D=<fresh folder>" of the installer, and raw_install.exe
# (bench/raw_install: the container read, its SHA-256, the inflate, the digest and the
# write, in one plain process), each after a sync; then one
# more of each for the peak memory (bench/peak_rss.py: the largest sum of the resident
# memory of the installer's processes, sampled). Medians and ratios are printed and written
# to build/install-bench/results.txt.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
RUNS=7
SIZES="1 128"
while (($#)); do
  case $1 in
    --runs) RUNS=$2; shift 2 ;;
    --sizes) SIZES=$2; shift 2 ;;
    *) echo "usage: $0 [--runs N] [--sizes \"1 128\"]" >&2; exit 2 ;;
  esac
done
cd "$ROOT"
OUT=build/install-bench
mkdir -p "$OUT"
. "$ROOT/bench/common.sh"

say "building scrpack (host), scrsetup and raw_install (Windows)"
build_for_bench scrsetup raw_install

export WINEPREFIX="$ROOT/$OUT/wineprefix" WINEDEBUG=-all WINEARCH=win64
if [ ! -d "$WINEPREFIX" ]; then
  say "wineboot ($WINEPREFIX)"
  WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || true
fi
wine cmd /c exit >/dev/null 2>&1

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.2f\", $1 }"; }
results="$OUT/results.txt"
: >"$results"
for mib in $SIZES; do
  scr="$OUT/Bench$mib.scr"
  [ -s "$scr" ] || python3 - "$scr" "$mib" <<'PY'
import os, sys
with open(sys.argv[1], "wb") as f:
    f.write(b"MZ")
    for i in range(int(sys.argv[2])):
        f.write(os.urandom(800 * 1024))
        f.write((b"screensaver frame %06d " % i) * (224 * 1024 // 26))
PY
  say "$mib MiB: scrpack build"
  /usr/bin/time -f "%e %M" -o "$OUT/time.txt" build/host/bin/scrpack build --stub build/win/bin/scrsetup.exe \
    --scr "$scr" --name Bench$mib --guid '{0123ABCD-4567-89EF-0123-456789ABCDEF}' --no-player \
    -o "$OUT/setup$mib.exe" >/dev/null
  read -r build_s build_kb <"$OUT/time.txt"
  input=$(stat -c %s "$scr")
  installs=() raws=()
  for ((i = 0; i <= RUNS; i++)); do # run 0 warms up (the prefix's first start of each) and is not counted
    dest="$WINEPREFIX/drive_c/bench-$mib"
    rm -rf "$dest"; mkdir -p "$dest"
    # Each run starts with the previous run's written pages on disk: otherwise their
    # write-back lands in whichever run comes next.
    sync
    t0=$(now); wine "$OUT/setup$mib.exe" /S "/D=C:\\bench-$mib"; t1=$(now)
    ((i == 0)) || installs+=("$(calc "$t1 - $t0")")
    wine reg delete "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Bench$mib" /f >/dev/null 2>&1 || true
    sync
    t0=$(now); wine build/win/bin/raw_install.exe "$OUT/setup$mib.exe" 'C:\raw.scr' >"$OUT/raw.txt"; t1=$(now)
    ((i == 0)) || raws+=("$(calc "$t1 - $t0")")
  done
  # Memory in runs of their own (the sampling takes processor time from the timed runs).
  rm -rf "$dest"; mkdir -p "$dest"; sync
  install_kb=$(python3 bench/peak_rss.py "setup$mib.exe" wine "$OUT/setup$mib.exe" /S "/D=C:\\bench-$mib")
  wine reg delete "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Bench$mib" /f >/dev/null 2>&1 || true
  sync
  raw_kb=$(python3 bench/peak_rss.py raw_install.exe wine build/win/bin/raw_install.exe "$OUT/setup$mib.exe" 'C:\raw.scr')
  held=$(($(stat -c %s "$OUT/setup$mib.exe") - $(stat -c %s build/win/bin/scrsetup.exe) + input))
  install=$(printf '%s\n' "${installs[@]}" | median)
  raw=$(printf '%s\n' "${raws[@]}" | median)
  {
    echo "$mib MiB screensaver ($input bytes):"
    echo "  /S install  median ${install} s of ${installs[*]}"
    echo "  raw work    median ${raw} s of ${raws[*]} ($(cat "$OUT/raw.txt"))"
    echo "  ratio       $(calc "$install / $raw")"
    echo "  peak memory /S $((install_kb / 1024)) MiB (both processes), raw $((raw_kb / 1024)) MiB;" \
      "container + screensaver $((held / 1048576)) MiB: /S $(calc "$install_kb * 1024 / $held") x, raw $(calc "$raw_kb * 1024 / $held") x"
    echo "  scrpack build ${build_s} s, peak $((build_kb / 1024)) MiB = $(calc "$build_kb * 1024 / $input") x input"
  } | tee -a "$results"
done
echo "stub: $(stat -c %s build/win/bin/scrsetup.exe) bytes" | tee -a "$results"
