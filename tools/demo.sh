#!/usr/bin/env bash
# The demo: packs the sample screensaver into an installer with scrpack, shows what the
# installer carries and checks it as the installer will at start, on the host and with
# the Windows scrpack.exe under Wine, then runs the installer: on a screen for you to
# click through, or headless under Xvfb, walked page by page with a screenshot of each.
# A stand-in for the Flash player (a test DLL with the player's class) is registered in
# the demo's Wine prefix so that the installer finds a player. Output goes to build/demo/.
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
  --eula samples/EULA.txt --readme samples/ReadMe.txt --flash-version 9.0.28.0 \
  -o "$OUT/OrvaneSampleSetup.exe"
ls -l "$OUT/OrvaneSampleSetup.exe"

say "scrpack list"
build/host/bin/scrpack list "$OUT/OrvaneSampleSetup.exe"

say "scrpack verify (host)"
build/host/bin/scrpack verify "$OUT/OrvaneSampleSetup.exe"

export WINEPREFIX="$ROOT/build/wine-demo" WINEDEBUG=-all
if [ ! -d "$WINEPREFIX" ]; then
  say "wineboot ($WINEPREFIX)"
  WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || true
fi
# Message boxes show Japanese text: the UI font is linked to the Japanese font.
wine regedit /S "Z:$ROOT/tools/wine-fonts.reg" >/dev/null 2>&1 || true

say "scrpack.exe verify (Windows build, under Wine)"
wine build/win/bin/scrpack.exe verify "Z:$ROOT/$OUT/OrvaneSampleSetup.exe" </dev/null 2>&1 | tr -d '\r'

if [ -f build/win/bin/scrsetup.exe ] && [ -f build/win/bin/standin_player_new.dll ]; then
  say "registering the stand-in Flash player in the demo prefix"
  CLSID='HKCR\CLSID\{D27CDB6E-AE6D-11CF-96B8-444553540000}\InprocServer32'
  wine reg add "$CLSID" /ve /t REG_SZ /d "Z:$ROOT/build/win/bin/standin_player_new.dll" /f >/dev/null 2>&1
  wine reg add "$CLSID" /v ThreadingModel /t REG_SZ /d Apartment /f >/dev/null 2>&1
  if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
    say "starting the installer: click through it (it installs into the Wine prefix)"
    wine "$OUT/OrvaneSampleSetup.exe" </dev/null
  else
    say "the installer, walked page by page under Xvfb (screenshots: $OUT/*.png)"
    rm -f "$OUT"/[0-9]-*.bmp "$OUT"/[0-9]-*.png
    SETUP_W=$(winepath -w "$ROOT/$OUT/OrvaneSampleSetup.exe")
    OUT_W=$(winepath -w "$ROOT/$OUT")
    # Wine binds its desktop to the display of the server's first window: the wineserver
    # started above without a display must be gone before the installer runs under Xvfb.
    wineserver -w
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
      set -o pipefail
      wine cmd /c exit </dev/null >/dev/null 2>&1
      wine "$1" "$2" "$3" </dev/null 2>&1 | tr -d "\r"; rc=$?
      wineserver -w; exit $rc' _ build/win/bin/wizard_tour.exe "$SETUP_W" "$OUT_W" || TOUR=$?
    for f in "$OUT"/[0-9]-*.bmp; do
      [ -e "$f" ] || continue
      convert "$f" "${f%.bmp}.png" 2>/dev/null && rm -f "$f"
    done
    say "installed by the demo (in the Wine prefix's Windows folder):"
    ls -l "$WINEPREFIX/drive_c/windows/" | grep -i orvane || true
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
