#!/usr/bin/env python3
"""Writes tidwen.ico for tidwen.exe: the program's 16 by 16 and 32 by 32,
16-colour images first (tidwen_small.ico, which tidwen-make-images draws),
then the 48 and 256 pixel pictures of packaging/icons as PNG images,
which the shell of Windows Vista and later shows at large sizes.

    python3 src/resources/make_icon.py   (from the top of the tree)
"""
import struct

SMALL = "src/resources/tidwen_small.ico"
LARGE = [(48, "packaging/icons/48.png"), (256, "packaging/icons/256.png")]
OUT = "src/resources/tidwen.ico"

small = open(SMALL, "rb").read()
reserved, kind, count = struct.unpack_from("<HHH", small, 0)
assert kind == 1
images = []
for i in range(count):
    entry = small[6 + 16 * i:22 + 16 * i]
    w, h, colours, _, planes, bits, size, offset = struct.unpack("<BBBBHHII", entry)
    images.append(((w, h, colours, planes, bits), small[offset:offset + size]))
for px, path in LARGE:
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    images.append(((px % 256, px % 256, 0, 1, 32), data))

out = struct.pack("<HHH", 0, 1, len(images))
offset = 6 + 16 * len(images)
for (w, h, colours, planes, bits), data in images:
    out += struct.pack("<BBBBHHII", w, h, colours, 0, planes, bits, len(data), offset)
    offset += len(data)
for _, data in images:
    out += data
open(OUT, "wb").write(out)
