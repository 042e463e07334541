#!/usr/bin/env python3
"""Writes a WinHelp 3.1 file (uncompressed) from the help source; usage: make-help.py SRC OUT.

Internal files: |SYSTEM (title, contents topic), |FONT, |TOPIC (one 4 KB block holding every
topic), |CONTEXT (hashes of the context names) and |CTXOMAP (context numbers), found through the
directory B+ tree. A topic's offset is the number of characters before it in the block.
"""
import struct
import sys

BLOCK = 4096


def parse(path):
    topics = []
    para = []
    for line in open(path, encoding="utf-8"):
        line = line.rstrip("\n")
        if line.startswith("#"):
            continue
        if line.startswith("== "):
            name, number, title = line[3:].split(" ", 2)
            topics.append({"name": name, "number": None if number == "-" else int(number),
                           "title": title, "paras": []})
            para = []
        elif not line.strip():
            para = []
        elif topics:
            if not para:
                topics[-1]["paras"].append(para)
            para.append(line.strip())
    return topics


def context_hash(name):
    """The hash WinHelp looks context names up by (letters either case, digits, '_', '.')."""
    h = 0
    for c in name:
        if c.isdigit():
            v = 10 if c == "0" else ord(c) - 0x30
        elif "A" <= c <= "Z":
            v = ord(c) - 0x30
        elif "a" <= c <= "z":
            v = ord(c) - 0x50
        elif c in "._":
            v = {".": 0x0C, "_": 0x0D}[c]
        else:
            raise ValueError("context name %r: only letters, digits, '_' and '.'" % name)
        h = (h * 43 + v) & 0xFFFFFFFF
    return h - (1 << 32) if h & 0x80000000 else h


def link(kind, data1, data2, prev, nxt):
    """A topic link: its 21-byte header, LinkData1 and LinkData2."""
    len1 = 21 + len(data1)
    return struct.pack("<IIiiIB", len1 + len(data2), len(data2), prev, nxt, len1, kind) + data1 + data2


def text_record(title, paras):
    """One text record: the title in the bold font, then the paragraphs with a gap after each."""
    strings = [b"", title, b""]
    fmt = b"\x80\x01\x00" + b"\x82" + b"\x80\x00\x00"
    for p in paras:
        strings += [" ".join(p).encode("cp1252"), b""]
        fmt += b"\x82\x82"
    fmt += b"\xff"
    text = b"".join(s + b"\0" for s in strings)
    n = len(text)
    assert n < 16384
    size = struct.pack("<H", 2 * n)
    length = bytes([2 * n]) if n < 128 else struct.pack("<H", (n % 128) * 2 + 1 + ((n // 128) << 8))
    # Paragraph info: two unknown bytes, id, no optional fields.
    return size + length + b"\x00\x80\x00\x00\x00\x00" + fmt, text


def topic_file(topics):
    """All topics in one uncompressed block: a header link and a text link per topic.

    Returns the block and each topic's offset (block 0, so the characters before it)."""
    records = [(t["title"].encode("cp1252") + b"\0",) + text_record(t["title"].encode("cp1252"),
                                                                    t["paras"]) for t in topics]
    # Link positions: 12 (the block header) plus the offset in the block's data.
    positions, at = [], 12
    for title, data1, data2 in records:
        header_len = 21 + 28 + len(title)
        positions.append((at, at + header_len))
        at += header_len + 21 + len(data1) + len(data2)
    data, offsets, chars = b"", [], 0
    for i, (title, data1, data2) in enumerate(records):
        header_pos, text_pos = positions[i]
        next_header = positions[i + 1][0] if i + 1 < len(records) else -1
        prev_text = positions[i - 1][1] if i else -1
        text = link(0x20, data1, data2, header_pos, next_header)
        header1 = struct.pack("<IiiIiii", text_pos - header_pos + len(text), -1, -1, i, -1,
                              text_pos, next_header)
        data += link(2, header1, title, prev_text, text_pos) + text
        offsets.append(chars)
        chars += len(data2)
    assert len(data) <= BLOCK - 12, "help text too long for one topic block"
    last_header = positions[-1][0]
    return struct.pack("<iii", -1, 12, last_header) + data.ljust(BLOCK - 12, b"\0"), offsets


def btree(structure, entries, page_size, directory=False):
    """A one-page B+ tree of (key bytes, value bytes) entries, already in order."""
    body = b"".join(k + v for k, v in entries)
    assert 8 + len(body) <= page_size
    page = struct.pack("<Hhhh", page_size - 8 - len(body), len(entries), -1, -1) + body
    flags = 0x0402 if directory else 0x0002
    header = struct.pack("<HHH16shhhhhhi", 0x293B, flags, page_size, structure, 0, 0, 0, -1, 1,
                         1, len(entries))
    return header + page.ljust(page_size, b"\0")


def internal(data):
    return struct.pack("<IIB", len(data) + 9, len(data), 4) + data


def main():
    src, out = sys.argv[1], sys.argv[2]
    topics = parse(src)
    names = [t["name"] for t in topics]
    assert len(set(names)) == len(names), "context names must differ"
    topic, offsets = topic_file(topics)
    offset = lambda i: offsets[i]

    system = struct.pack("<HHHIH", 0x036C, 21, 1, 0, 0)
    title = b"Tamber Help\0"
    system += struct.pack("<HH", 1, len(title)) + title
    system += struct.pack("<HHI", 3, 4, offset(0))

    face = b"Arial".ljust(20, b"\0")
    fonts = [(0, 20), (1, 24)]  # normal 10 pt, bold 12 pt
    font = struct.pack("<HHHH", 1, len(fonts), 8, 8 + len(face)) + face
    for attrs, half in fonts:
        font += struct.pack("<BBBH3s3s", attrs, half, 3, 0, b"\0\0\0", b"\xff\xff\xff")

    ctx = sorted((context_hash(n), i) for i, n in enumerate(names))
    context = btree(b"L4", [(struct.pack("<i", h), struct.pack("<I", offset(i))) for h, i in ctx],
                    2048)
    mapped = [(t["number"], i) for i, t in enumerate(topics) if t["number"] is not None]
    ctxomap = struct.pack("<H", len(mapped)) + b"".join(
        struct.pack("<iI", n, offset(i)) for n, i in mapped)

    files = {"|SYSTEM": system, "|FONT": font, "|TOPIC": topic,
             "|CONTEXT": context, "|CTXOMAP": ctxomap}
    body = b""
    places = {}
    for name in sorted(files):
        places[name] = 16 + len(body)
        body += internal(files[name])
    directory = btree(b"z4", [(n.encode() + b"\0", struct.pack("<I", places[n]))
                             for n in sorted(files)], 1024, directory=True)
    dir_start = 16 + len(body)
    body += internal(directory)
    with open(out, "wb") as f:
        f.write(struct.pack("<IiiI", 0x00035F3F, dir_start, -1, 16 + len(body)) + body)


if __name__ == "__main__":
    main()
