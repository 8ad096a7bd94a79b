"""Size of the metadata a Matroska file holds: the least any reader must read."""


def vint(data, pos):
    first = data[pos]
    length = 8 - first.bit_length() + 1
    value = first & (0xFF >> length)
    for b in data[pos + 1: pos + length]:
        value = (value << 8) | b
    return value, length, (first == 0xFF)


METADATA = {0x114D9B74, 0x1549A966, 0x1654AE6B, 0x1043A770, 0x1254C367, 0x1C53BB6B, 0x1941A469}
# What the window reads: SeekHead, Info, Tracks, Chapters.
WINDOW = {0x114D9B74, 0x1549A966, 0x1654AE6B, 0x1043A770}


def metadata_floor(path, wanted=METADATA):
    """Bytes of the EBML header, Segment headers and the metadata elements the file holds
    (those in `wanted`)."""
    data = open(path, "rb").read()
    pos, total = 0, 0
    while pos < len(data):
        start = pos
        _, idlen, _ = vint(data, pos)
        ident = int.from_bytes(data[pos:pos + idlen], "big")
        size, slen, unknown = vint(data, pos + idlen)
        header = idlen + slen
        if ident == 0x18538067:  # descend into segments
            total += header
            pos += header
            continue
        if ident in wanted or ident == 0x1A45DFA3:
            total += header + size
        if ident == 0x1F43B675 and (unknown or size >= (1 << 56) - 1):
            break  # a live cluster: the rest is media
        pos = start + header + size
    return total
