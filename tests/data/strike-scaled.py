#!/usr/bin/python3
"""strike-scaled.py FONT OUTDIR SIZE:CODE...: each CODE's image in FONT's CBDT
strike, read by fontTools and Pillow alone, scaled to SIZE pixels per em by
area: magnified SIZE times, then each block of PPEM x PPEM pixels averaged
(the edge's partial blocks over what they hold), which is the strike averaged
over each output pixel's footprint. OUTDIR/SIZE-CODE.raw gets "W H\\n" and the
RGBA bytes, straight alpha."""
import sys
from io import BytesIO

from fontTools.ttLib import TTFont
from PIL import Image

font = TTFont(sys.argv[1])
ppem = font["CBLC"].strikes[0].bitmapSizeTable.ppemY
strike = font["CBDT"].strikeData[0]
for job in sys.argv[3:]:
    size, code = (int(n) for n in job.split(":"))
    image = Image.open(BytesIO(strike[font.getBestCmap()[code]].imageData)).convert("RGBA")
    magnified = image.resize((image.width * size, image.height * size), Image.NEAREST)
    scaled = magnified.reduce(ppem)
    with open("%s/%d-%d.raw" % (sys.argv[2], size, code), "wb") as out:
        out.write(b"%d %d\n" % scaled.size + scaled.tobytes())
