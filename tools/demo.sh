#!/usr/bin/env bash
# The demo: packs the sample screensaver into an installer with scrpack, shows what the
# installer carries and checks it as the installer will at start, on the host and with
# the Windows scrpack.exe under Wine, then runs the installer: on a screen for you to
# click through, or headless under Xvfb, walked page by page with a screenshot of each.
# The sample is a native screensaver (built with --no-player): it installs with no Flash
# player at all. A second installer whose screensaver needs the player shows the gate:
# refused unattended without a player, then run with a stand-in for the player (a test
# DLL with the player's class) registered. Output goes to build/demo/.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
OUT=build/demo
mkdir -p "$OUT"
say() { printf '\033[1m==> %s\033[0m\n' "$*"; }
TOUR=0

STUB=build/win/bin/scrsetup.exe
[ -f "$STUB" ] || { echo "demo: $STUB is missing; run ./x build first" >&2; exit 1; }

say "scrpack build"
build/host/bin/scrpack build --stub "$STUB" --scr build/win/bin/OrvaneSample.scr --name OrvaneSample \
  --title "Orvane サンプル スクリーンセーバー　インストーラー" \
  --eula samples/EULA.txt --readme samples/ReadMe.txt --no-player \
  -o "$OUT/OrvaneSampleSetup.exe"
ls -l "$OUT/OrvaneSampleSetup.exe"

say "scrpack build (a second installer, for a screensaver that needs the Flash player)"
build/host/bin/scrpack build --stub "$STUB" --scr build/win/bin/OrvaneSample.scr --name OrvanePlayerSample \
  --title "Orvane Flash サンプル　インストーラー" --readme samples/ReadMe.txt --flash-version 9.0.28.0 \
  --version 1.0 --publisher "Orvane" -o "$OUT/OrvanePlayerSampleSetup.exe"

say "scrpack list"
build/host/bin/scrpack list "$OUT/OrvaneSampleSetup.exe"

say "scrpack verify (host)"
build/host/bin/scrpack verify "$OUT/OrvaneSampleSetup.exe"

export WINEPREFIX="$ROOT/build/wine-demo" WINEDEBUG=-all
# A prefix that a run ended while it was being made lacks its system files: made again,
# and once more if the first attempt does not complete.
prefix_ready() { [ -f "$WINEPREFIX/system.reg" ] && [ -e "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]; }
for attempt in 1 2; do
  prefix_ready && break
  rm -rf "$WINEPREFIX"
  say "wineboot ($WINEPREFIX)"
  WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || true
  wineserver -w
done
prefix_ready || { echo "demo: cannot make the Wine prefix $WINEPREFIX" >&2; exit 1; }
# Message boxes show Japanese text: the UI font is linked to the Japanese font.
wine regedit /S "Z:$ROOT/tools/wine-fonts.reg" >/dev/null 2>&1 || true

say "scrpack.exe verify (Windows build, under Wine)"
wine build/win/bin/scrpack.exe verify "Z:$ROOT/$OUT/OrvaneSampleSetup.exe" </dev/null 2>&1 | tr -d '\r'

CLSID='HKCR\CLSID\{D27CDB6E-AE6D-11CF-96B8-444553540000}'
UNINSTALL='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall'

# Runs the installer $1 (a Windows path): on a screen for you to click through, or
# headless walked page by page by wizard_tour, with screenshots saved in $2 (a Linux
# folder). Sets TOUR to the walk's exit code when it fails.
run_wizard() {
  local setup_w=$1 out=$2
  mkdir -p "$out"
  if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
    say "starting the installer: click through it (it installs into the Wine prefix)"
    wine "$setup_w" </dev/null
    return
  fi
  say "the installer, walked page by page under Xvfb (screenshots: $out/*.png)"
  rm -f "$out"/[0-9]-*.bmp "$out"/[0-9]-*.png
  local out_w
  out_w=$(winepath -w "$ROOT/$out")
  # Wine binds its desktop to the display of the server's first window: the wineserver
  # started without a display must be gone before the installer runs under Xvfb.
  wineserver -w
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    set -o pipefail
    wine cmd /c exit </dev/null >/dev/null 2>&1
    wine "$1" "$2" "$3" </dev/null 2>&1 | tr -d "\r"; rc=$?
    wineserver -w; exit $rc' _ build/win/bin/wizard_tour.exe "$setup_w" "$out_w" || TOUR=$?
  for f in "$out"/[0-9]-*.bmp; do
    [ -e "$f" ] || continue
    convert "$f" "${f%.bmp}.png" 2>/dev/null && rm -f "$f"
  done
}

if [ -f build/win/bin/wizard_tour.exe ]; then
  # The prefix is kept between demos: no player may be left from an earlier one.
  wine reg delete "$CLSID" /f >/dev/null 2>&1 || true
  say "the sample installer, with no Flash player registered"
  run_wizard "$(winepath -w "$ROOT/$OUT/OrvaneSampleSetup.exe")" "$OUT"
  say "installed by the demo (in the Wine prefix's Windows folder):"
  ls -l "$WINEPREFIX/drive_c/windows/" | grep -i orvane || true
  say "its entry in the list of installed programs:"
  # Exported as a .reg file (UTF-16): the console would lose the Japanese name.
  wine regedit /E "$(winepath -w "$ROOT/$OUT/entry.reg")" "$UNINSTALL\OrvaneSample" </dev/null >/dev/null 2>&1 &&
    iconv -f UTF-16 -t UTF-8 "$OUT/entry.reg" | tr -d '\r' | grep -v '^Windows Registry' || true

  PLAYER_SETUP_W=$(winepath -w "$ROOT/$OUT/OrvanePlayerSampleSetup.exe")
  say "the installer that needs the player, unattended (/S) without a player: the gate refuses (exit 3)"
  rc=0; wine "$PLAYER_SETUP_W" /S </dev/null >/dev/null 2>&1 || rc=$?
  echo "exit code $rc"
  say "the same installer's wizard without a player: the failure page with the download button"
  run_wizard "$PLAYER_SETUP_W" "$OUT/no-player"
  if [ -f build/win/bin/standin_player_new.dll ]; then
    say "registering the stand-in Flash player in the demo prefix"
    wine reg add "$CLSID\InprocServer32" /ve /t REG_SZ /d "Z:$ROOT/build/win/bin/standin_player_new.dll" /f \
      >/dev/null 2>&1
    wine reg add "$CLSID\InprocServer32" /v ThreadingModel /t REG_SZ /d Apartment /f >/dev/null 2>&1
    run_wizard "$PLAYER_SETUP_W" "$OUT/player"
    wine reg delete "$CLSID" /f >/dev/null 2>&1 || true
  fi
fi

say "the sample screensaver, full screen for a few seconds (screenshot: $OUT/screensaver.png)"
wineserver -w
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  wine cmd /c exit </dev/null >/dev/null 2>&1
  wine "$1" /s </dev/null >/dev/null 2>&1 &
  sleep 6
  import -window root "$2" 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true' _ build/win/bin/OrvaneSample.scr "$OUT/screensaver.png"
ls -l "$OUT"
if [ "$TOUR" -ne 0 ]; then echo "demo: the walk through the wizard failed (exit $TOUR)" >&2; exit 1; fi
