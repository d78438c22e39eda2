#!/usr/bin/python3
"""Writes a small colour font for the tests: 'A' a square whose SVG document
is green (drawn from its outline where SVG cannot be drawn), 'B' two COLR
version 0 layers (a square of 0..600 units in half-transparent blue under a
square of 100..300 in opaque red), 'C' a plain square. 1000 units per em.
Usage: colour-font.py OUT.ttf"""
import sys

from fontTools.colorLib.builder import buildCOLR, buildCPAL
from fontTools.fontBuilder import FontBuilder
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import newTable


def square(low, high):
    pen = TTGlyphPen(None)
    pen.moveTo((low, low))
    pen.lineTo((low, high))
    pen.lineTo((high, high))
    pen.lineTo((high, low))
    pen.closePath()
    return pen.glyph()


names = [".notdef", "A", "B", "C", "big", "small"]
fb = FontBuilder(1000, isTTF=True)
fb.setupGlyphOrder(names)
fb.setupCharacterMap({ord("A"): "A", ord("B"): "B", ord("C"): "C"})
fb.setupGlyf({".notdef": TTGlyphPen(None).glyph(), "A": square(0, 600), "B": square(0, 600),
              "C": square(0, 600), "big": square(0, 600), "small": square(100, 300)})
fb.setupHorizontalMetrics({n: (700, 100 if n == "small" else 0) for n in names})
fb.setupHorizontalHeader(ascent=800, descent=-200)
fb.setupNameTable({"familyName": "Colour Test", "styleName": "Regular"})
fb.setupOS2(sTypoAscender=800, sTypoDescender=-200, usWinAscent=800, usWinDescent=200)
fb.setupPost()
font = fb.font
font["COLR"] = buildCOLR({"B": [("big", 1), ("small", 0)]}, version=0)
font["CPAL"] = buildCPAL([[(1.0, 0.0, 0.0, 1.0), (0.0, 0.0, 1.0, 0.5)]])
svg = newTable("SVG ")
svg.docList = [('<svg xmlns="http://www.w3.org/2000/svg"><rect id="glyph1" x="0" y="-600" '
                'width="600" height="600" fill="green"/></svg>', 1, 1)]
font["SVG "] = svg
font.save(sys.argv[1])
