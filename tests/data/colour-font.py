#!/usr/bin/python3
"""colour-font.py OUT.ttf: 'A' a square of 0..600 units with an SVG document, 'B'
that square in half-transparent blue under one of 100..300 in red, 'C' plain."""
import sys

from fontTools.colorLib.builder import buildCOLR, buildCPAL
from fontTools.fontBuilder import FontBuilder
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import newTable


def square(low, high):
    pen = TTGlyphPen(None)
    for point in [(low, low), (low, high), (high, high), (high, low)]:
        (pen.lineTo if pen.points else pen.moveTo)(point)
    pen.closePath()
    return pen.glyph()


fb = FontBuilder(1000, isTTF=True)
fb.setupGlyphOrder([".notdef", "A", "B", "C", "small"])
fb.setupCharacterMap({ord("A"): "A", ord("B"): "B", ord("C"): "C"})
fb.setupGlyf({".notdef": TTGlyphPen(None).glyph(), "A": square(0, 600), "B": square(0, 600),
              "C": square(0, 600), "small": square(100, 300)})
fb.setupHorizontalMetrics({n: (700, 100 if n == "small" else 0) for n in fb.font.getGlyphOrder()})
fb.setupHorizontalHeader(ascent=800, descent=-200)
fb.setupNameTable({"familyName": "Colour Test", "styleName": "Regular"})
fb.setupOS2(sTypoAscender=800, sTypoDescender=-200, usWinAscent=800, usWinDescent=200)
fb.setupPost()
fb.font["COLR"] = buildCOLR({"B": [("C", 1), ("small", 0)]}, version=0)
fb.font["CPAL"] = buildCPAL([[(1.0, 0.0, 0.0, 1.0), (0.0, 0.0, 1.0, 0.5)]])
fb.font["SVG "] = newTable("SVG ")
fb.font["SVG "].docList = [('<svg xmlns="http://www.w3.org/2000/svg"><rect id="glyph1" x="0" '
                            'y="-600" width="600" height="600" fill="green"/></svg>', 1, 1)]
fb.font.save(sys.argv[1])
