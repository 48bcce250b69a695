#!/usr/bin/env python3
# Makes unicode32.inc, the code points that Unicode 3.2 assigned (IDNA
# 2003's repertoire), as ranges, from the Unicode 3.2 database that
# Python's unicodedata keeps for IDNA 2003.
#   python3 url/unicode32.py > url/unicode32.inc
import unicodedata

db = unicodedata.ucd_3_2_0
ranges, start = [], None
for c in range(0x110000):
    assigned = db.category(chr(c)) != 'Cn'
    if assigned and start is None:
        start = c
    if not assigned and start is not None:
        ranges.append((start, c - 1))
        start = None
if start is not None:
    ranges.append((start, 0x10FFFF))
print('// Made by unicode32.py from Unicode %s: do not edit.' % db.unidata_version)
print('// The ranges of code points that it assigned, in order.')
for i in range(0, len(ranges), 5):
    print(', '.join('{0x%X, 0x%X}' % r for r in ranges[i:i + 5]) + ',')
