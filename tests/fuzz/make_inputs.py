#!/usr/bin/env python3
"""Seeds and dictionary for the fuzz targets.

Usage: make_inputs.py READER_DIR MEDIA_DIR OUT_DIR
Writes OUT_DIR/matroska.dict (every element ID the reader knows, from its tables),
OUT_DIR/seeds/view (heads and tails of real files) and OUT_DIR/seeds/masters (each
metadata element body of real files, behind the byte that selects its master).
"""
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from view_peers_floor import vint  # noqa: E402

reader, media, out = sys.argv[1:4]
os.makedirs(os.path.join(out, "seeds", "view"), exist_ok=True)
os.makedirs(os.path.join(out, "seeds", "masters"), exist_ok=True)

ids = set()
for header in ("leaf.h", "master.h", "base.h"):
    text = open(os.path.join(reader, header)).read()
    ids.update(int(m, 16) for m in re.findall(r"(?:<|from_marked\()(0x[0-9A-Fa-f]+)", text))
with open(os.path.join(out, "matroska.dict"), "w") as d:
    for i in sorted(ids):
        raw = i.to_bytes((i.bit_length() + 7) // 8, "big")
        d.write('"' + "".join(f"\\x{b:02X}" for b in raw) + '"\n')

SELECTOR = {0x1A45DFA3: 0, 0x114D9B74: 1, 0x1549A966: 2, 0x1654AE6B: 3, 0x1043A770: 4,
            0x1254C367: 5, 0x1C53BB6B: 6, 0x1941A469: 7}


count = 0
for name in sorted(os.listdir(media)):
    if not name.endswith((".mkv", ".webm")):
        continue
    data = open(os.path.join(media, name), "rb").read()
    for i, part in enumerate([data[:16384], data[-8192:]]):
        open(os.path.join(out, "seeds", "view", f"{name}.{i}"), "wb").write(part)
    pos = 0
    while pos < len(data) - 2:
        _, idlen, _ = vint(data, pos)
        ident = int.from_bytes(data[pos:pos + idlen], "big")
        size, slen, _ = vint(data, pos + idlen)
        body = pos + idlen + slen
        if ident == 0x18538067:
            pos = body
            continue
        if ident in SELECTOR:
            chunk = bytes([SELECTOR[ident]]) + data[body:body + min(size, 65536)]
            open(os.path.join(out, "seeds", "masters", f"{name}.{count}"), "wb").write(chunk)
            count += 1
        if size >= (1 << 56) - 1:
            break
        pos = body + size
print(f"{len(ids)} IDs, {count} master seeds")
