#!/bin/sh
# Draws every picture of the sample book with ImageMagick's convert. Run it from anywhere; it
# writes into the system/ and pages/ folders beside it. The pictures are committed, so running it
# is needed only after changing a drawing.
set -eu
cd "$(dirname "$0")"
FONT=DejaVu-Sans
BOLD=DejaVu-Sans-Bold
MONO=DejaVu-Sans-Mono
mkdir -p system/toolbar pages/images pages/style pages/reading pages/look/pics

# Toolbar pictures: 24 x 24, uncompressed 24-bit BMP. The top-left pixel is magenta, which the
# toolbar makes transparent (XMask and YMask default to 0).
icon() { # name, drawing arguments...
    name=$1; shift
    convert -size 24x24 xc:'#FF00FF' +antialias -stroke none "$@" -alpha off -type TrueColor -compress None "BMP3:system/toolbar/$name.bmp"
}
icon back      -fill '#2060A0' -draw 'polygon 3,12 12,4 12,9 20,9 20,15 12,15 12,20'
icon forward   -fill '#2060A0' -draw 'polygon 21,12 12,4 12,9 4,9 4,15 12,15 12,20'
icon first     -fill '#206020' -draw 'rectangle 4,5 6,19' -draw 'polygon 7,12 19,5 19,19'
icon prior     -fill '#206020' -draw 'polygon 6,12 18,5 18,19'
icon next      -fill '#206020' -draw 'polygon 18,12 6,5 6,19'
icon last      -fill '#206020' -draw 'rectangle 18,5 20,19' -draw 'polygon 17,12 5,5 5,19'
icon chapprior -fill '#A05010' -draw 'polygon 2,12 11,5 11,19' -draw 'polygon 11,12 20,5 20,19'
icon chapnext  -fill '#A05010' -draw 'polygon 22,12 13,5 13,19' -draw 'polygon 13,12 4,5 4,19'
icon fontsize  -fill '#202020' -font $BOLD -pointsize 17 -draw "text 2,19 'A'" -pointsize 11 -draw "text 14,19 'a'"
icon bookmarks -fill '#C02020' -draw 'polygon 7,3 17,3 17,21 12,16 7,21'
icon print     -fill '#606060' -draw 'rectangle 3,9 21,17' -fill white -stroke '#404040' \
               -draw 'rectangle 7,3 17,9' -draw 'rectangle 7,15 17,21'
icon copy      -fill white -stroke '#404040' -draw 'rectangle 4,3 14,16' -draw 'rectangle 9,8 19,21'
icon about     -fill '#2060A0' -draw 'circle 12,12 12,2' -fill white -font $BOLD -pointsize 14 -draw "text 9,18 'i'"
icon refresh   -fill none -stroke '#206020' -strokewidth 3 -draw 'arc 4,4 20,20 30,330' \
               -stroke none -fill '#206020' -draw 'polygon 15,3 22,9 14,11'
icon home      -fill '#A05010' -draw 'polygon 12,3 22,12 2,12' -fill '#2060A0' -draw 'rectangle 5,12 19,21' \
               -fill white -draw 'rectangle 10,15 14,21'
icon exit      -fill '#8B5A2B' -draw 'rectangle 5,3 15,21' -fill '#FFD700' -draw 'circle 13,12 13,13' \
               -stroke '#C02020' -strokewidth 2 -draw 'line 17,12 22,12'
# The search picture is a JPEG, added without transparency (MaskColor=-1), so its background is
# the toolbar's own grey.
convert -size 24x24 xc:'#D4D0C8' -fill none -stroke '#203040' -strokewidth 3 -draw 'circle 10,10 10,4' \
        -draw 'line 14,14 21,21' -quality 90 system/toolbar/search.jpg

# The logo: 96 x 36, 8-bit palette BMP, shown at the right end of the toolbar.
convert -size 96x36 xc:'#D4D0C8' -fill '#2060A0' -draw 'roundrectangle 2,3 30,32 4,4' \
        -fill white -draw 'rectangle 8,9 24,11' -draw 'rectangle 8,15 24,17' -draw 'rectangle 8,21 20,23' \
        -fill '#203040' -font $BOLD -pointsize 12 -draw "text 35,17 'Tome'" -draw "text 35,30 'vane'" \
        -colors 16 -type Palette -compress None "BMP3:system/Logo.bmp"

# The opening splash: 240 x 150, 16 colours (4-bit BMP), shown for a few seconds.
convert -size 240x150 xc:'#F4F1E8' -fill '#2060A0' -draw 'rectangle 0,0 239,34' \
        -fill white -font $BOLD -pointsize 16 -draw "text 12,24 'Tomevane Viewer'" \
        -fill '#203040' -font $FONT -pointsize 13 -draw "text 14,66 'Writing a Tomevane Book'" \
        -pointsize 11 -draw "text 14,88 'A sample book about books'" \
        -fill none -stroke '#2060A0' -strokewidth 2 -draw 'rectangle 1,1 238,148' \
        -stroke none -fill '#A05010' -draw 'rectangle 14,110 60,136' -fill '#206020' -draw 'rectangle 66,110 112,136' \
        -fill '#2060A0' -draw 'rectangle 118,110 164,136' \
        +antialias +dither -colors 16 -type Palette -compress None "BMP3:system/SplashS.bmp"

# Pictures inside the pages.
# 1. How a book folder becomes one program (PNG).
convert -size 420x150 xc:white -font $FONT -pointsize 12 -stroke none \
        -fill '#E8EEF8' -draw 'rectangle 10,20 130,130' -fill '#203040' -draw "text 20,40 'book folder'" \
        -draw "text 24,70 'system\\\\'" -draw "text 24,100 'pages\\\\'" \
        -fill '#F8EEE0' -draw 'rectangle 160,20 270,60' -draw 'rectangle 160,90 270,130' \
        -fill '#203040' -draw "text 168,45 'SYSTEM_MFS'" -draw "text 168,115 'FILES_MFS'" \
        -fill '#E8F4E8' -draw 'rectangle 300,40 410,110' -fill '#203040' -draw "text 310,70 'one program'" \
        -draw "text 310,90 '(the viewer)'" \
        -stroke '#A05010' -strokewidth 2 -draw 'line 130,66 158,40' -draw 'line 130,96 158,110' \
        -draw 'line 270,40 298,60' -draw 'line 270,110 298,90' \
        +dither -colors 16 PNG8:pages/images/archives.png
# 2. The reading order with chapters (PNG).
convert -size 440x110 xc:white -font $FONT -pointsize 11 -stroke none \
        -fill '#206020' -draw 'rectangle 10,40 60,70' \
        -fill '#E8EEF8' -draw 'rectangle 80,20 190,90' -draw 'rectangle 200,20 310,90' -draw 'rectangle 320,20 430,90' \
        -fill '#2060A0' -draw 'rectangle 90,45 110,70' -draw 'rectangle 120,45 140,70' -draw 'rectangle 150,45 170,70' \
        -draw 'rectangle 210,45 230,70' -draw 'rectangle 240,45 260,70' -draw 'rectangle 270,45 290,70' \
        -draw 'rectangle 330,45 350,70' -draw 'rectangle 360,45 380,70' -draw 'rectangle 390,45 410,70' \
        -fill '#203040' -draw "text 12,35 'welcome'" -draw "text 90,35 'chapter 1'" \
        -draw "text 210,35 'chapter 2'" -draw "text 330,35 'chapter 3'" \
        -draw "text 12,105 'Next: one page at a time.  Chapter buttons: one box at a time.'" \
        +dither -colors 16 PNG8:pages/reading/order.png
# 3. A toolbar as the reader sees it (PNG).
convert -size 300x44 xc:'#D4D0C8' -stroke none \
        system/toolbar/back.bmp -geometry +6+10 -composite system/toolbar/forward.bmp -geometry +34+10 -composite \
        system/toolbar/first.bmp -geometry +70+10 -composite system/toolbar/prior.bmp -geometry +98+10 -composite \
        system/toolbar/next.bmp -geometry +126+10 -composite system/toolbar/last.bmp -geometry +154+10 -composite \
        system/toolbar/search.jpg -geometry +190+10 -composite system/toolbar/print.bmp -geometry +218+10 -composite \
        system/toolbar/exit.bmp -geometry +254+10 -composite \
        -fill '#D4D0C8' -opaque '#FF00FF' +dither -colors 32 PNG8:pages/look/pics/toolbar.png
# 4. A JPEG: a soft colour ramp, the kind of picture JPEG suits.
convert -size 160x60 gradient:'#2060A0-#F4F1E8' -font $FONT -pointsize 12 -fill '#203040' \
        -draw "text 10,36 'a JPEG picture'" -quality 70 pages/look/pics/gradient.jpg
# 5. A BMP: colour swatches of the sample's style sheet.
convert -size 120x30 xc:white -stroke none -fill '#2060A0' -draw 'rectangle 0,0 29,29' \
        -fill '#206020' -draw 'rectangle 30,0 59,29' -fill '#A05010' -draw 'rectangle 60,0 89,29' \
        -fill '#F4F1E8' -draw 'rectangle 90,0 119,29' -colors 16 -type Palette -compress None "BMP3:pages/look/pics/swatch.bmp"
# 6. The style sheet's heading mark, addressed from the style sheet itself (PNG).
convert -size 8x20 xc:'#2060A0' pages/style/mark.png
