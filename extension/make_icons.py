#!/usr/bin/env python3
"""Draws the toolbar icon (a feed sign on the report's accent colour) as PNG files, no imaging library needed."""
import math, struct, zlib, sys, os

def png(size):
    accent = (0xB3, 0x47, 0x1D)
    rows = []
    r = size * 0.22  # corner radius
    for y in range(size):
        row = bytearray([0])
        for x in range(size):
            px, py = x + 0.5, y + 0.5
            # rounded square mask
            dx = max(r - px, 0, px - (size - r)); dy = max(r - py, 0, py - (size - r))
            inside = dx * dx + dy * dy <= r * r
            if not inside:
                row += bytes((0, 0, 0, 0)); continue
            # feed sign: dot and two arcs around the lower-left corner
            ox, oy = size * 0.25, size * 0.75
            d = math.hypot(px - ox, py - oy)
            white = d <= size * 0.09 or (px >= ox - 1 and py <= oy + 1 and
                    (size * 0.30 <= d <= size * 0.40 or size * 0.50 <= d <= size * 0.60))
            row += bytes((255, 255, 255, 255)) if white else bytes(accent + (255,))
        rows.append(bytes(row))
    raw = b''.join(rows)
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), 'src', 'icons')
for s in (16, 32, 48, 128):
    with open(os.path.join(out, 'quorvelle-%d.png' % s), 'wb') as f:
        f.write(png(s))
