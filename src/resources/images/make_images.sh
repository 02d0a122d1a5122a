#!/usr/bin/env bash
# Generates the installer's pictures as 8-bit BMP files (BMP3, palette, bottom-up rows):
#   Left.bmp            164x294  side picture of the wizard: soft blue gradient, a monitor
#   icon.bmp             49x49   small monitor icon
#   GetFlashPlayer.bmp   88x31   "Get Player" badge; the pure magenta (FF00FF) outside the
#                                rounded badge is its transparent colour
# Needs ImageMagick 6 (convert) and the DejaVu fonts. Run from any folder; the files are
# written beside this script. The output is committed; rerun only to change the artwork.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
FONT=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
# 8-bit output without dithering, so flat colours (and the magenta key) stay exact.
EIGHT_BIT=(+dither -colors 240 -type Palette -compress None)

# Side picture: a vertical gradient, faint diagonal light, and a monitor with a stand
# whose screen shows a few soft bubbles.
convert -size 164x294 gradient:'#1f4e7a'-'#9cc3e6' \
  \( -size 164x294 xc:none -fill 'rgba(255,255,255,0.10)' \
     -draw 'polygon 0,40 164,0 164,60 0,120' -draw 'polygon 0,170 164,130 164,150 0,190' \) -composite \
  -fill '#223344' -draw 'roundrectangle 22,92 142,182 8,8' \
  -fill '#3b7fc0' -draw 'rectangle 30,100 134,172' \
  \( -size 104x72 gradient:'#79b8ef'-'#2d6aa8' \) -geometry +30+100 -composite \
  -fill 'rgba(255,255,255,0.55)' -draw 'circle 60,126 60,140' \
  -fill 'rgba(255,255,255,0.35)' -draw 'circle 98,146 98,156' \
  -fill 'rgba(255,255,255,0.45)' -draw 'circle 112,116 112,122' \
  -fill '#223344' -draw 'polygon 72,182 92,182 96,200 68,200' \
  -fill '#223344' -draw 'roundrectangle 50,198 114,206 3,3' \
  "${EIGHT_BIT[@]}" BMP3:Left.bmp

# Icon: the same monitor, small, on a light background.
convert -size 49x49 gradient:'#f4f8fc'-'#d6e4f2' \
  -fill '#223344' -draw 'roundrectangle 4,7 44,35 4,4' \
  \( -size 34x22 gradient:'#8cc4f2'-'#2d6aa8' \) -geometry +7+10 -composite \
  -fill 'rgba(255,255,255,0.6)' -draw 'circle 17,18 17,22' \
  -fill '#223344' -draw 'polygon 20,35 29,35 31,41 18,41' \
  -fill '#223344' -draw 'roundrectangle 12,40 37,43 1,1' \
  "${EIGHT_BIT[@]}" BMP3:icon.bmp

# Badge: a rounded green-to-dark gradient with a small play triangle and the text, on
# magenta. The badge outline is drawn without antialiasing so no pixel blends with the key.
convert -size 88x31 xc:'#FF00FF' \
  \( -size 88x31 gradient:'#5fb85a'-'#256b2a' \) \
  \( -size 88x31 xc:black +antialias -fill white -draw 'roundrectangle 0,0 87,30 7,7' -antialias \) \
  -compose over -composite \
  -fill '#ffffff' -draw 'polygon 7,10 7,21 16,15.5' \
  -font "$FONT" -pointsize 10 -fill white -annotate +21+19 'Get Player' \
  "${EIGHT_BIT[@]}" BMP3:GetFlashPlayer.bmp
