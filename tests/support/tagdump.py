"""Prints the tags of an audio file as mutagen reads them, one "NAME=value" line each, sorted.

Names are those of Vorbis comments; pictures print as "PICTURE=mime|md5 of the bytes". Only the
fields the tag tests compare are printed; mutagen's warnings go to standard error.
"""
import base64
import hashlib
import sys
import warnings

import mutagen
from mutagen.flac import Picture

FIELDS = {"TITLE", "ARTIST", "ALBUM", "ALBUMARTIST", "TRACKNUMBER", "TRACKTOTAL", "DISCNUMBER",
          "DATE", "GENRE", "COMPOSER", "COMMENT", "REPLAYGAIN_TRACK_GAIN"}
ID3_FRAMES = {"TIT2": "TITLE", "TPE1": "ARTIST", "TALB": "ALBUM", "TPE2": "ALBUMARTIST",
              "TCON": "GENRE", "TDRC": "DATE", "TCOM": "COMPOSER"}
MP4_ATOMS = {"\xa9nam": "TITLE", "\xa9ART": "ARTIST", "\xa9alb": "ALBUM", "aART": "ALBUMARTIST",
             "\xa9gen": "GENRE", "\xa9day": "DATE", "\xa9wrt": "COMPOSER", "\xa9cmt": "COMMENT"}


def picture(mime, data):
    return "%s|%s" % (mime, hashlib.md5(data).hexdigest())


def number_pair(out, text, number, total):
    n, _, t = str(text).partition("/")
    out[number] = n
    if t:
        out[total] = t


def from_id3(tags, out, pictures):
    for frame, name in ID3_FRAMES.items():
        if frame in tags:
            out[name] = str(tags[frame].text[0])
    if "TRCK" in tags:
        number_pair(out, tags["TRCK"].text[0], "TRACKNUMBER", "TRACKTOTAL")
    for f in tags.getall("COMM"):
        if f.desc == "":
            out["COMMENT"] = f.text[0]
    for f in tags.getall("TXXX"):
        out[f.desc.upper()] = f.text[0]
    for f in tags.getall("APIC"):
        pictures.append(picture(f.mime, f.data))


def from_vorbis(f, out, pictures):
    for key, value in f.tags:
        key = key.upper()
        if key == "METADATA_BLOCK_PICTURE":
            p = Picture(base64.b64decode(value))
            pictures.append(picture(p.mime, p.data))
        else:
            out[key] = value
    for p in getattr(f, "pictures", []):
        pictures.append(picture(p.mime, p.data))


def from_mp4(tags, out, pictures):
    for atom, name in MP4_ATOMS.items():
        if atom in tags:
            out[name] = str(tags[atom][0])
    if "trkn" in tags:
        n, t = tags["trkn"][0]
        out["TRACKNUMBER"] = str(n)
        if t:
            out["TRACKTOTAL"] = str(t)
    for key, values in tags.items():
        if key.startswith("----:"):
            out[key.split(":", 2)[2].upper()] = values[0].decode("utf-8")
    for c in tags.get("covr", []):
        pictures.append(picture("image/png" if c.imageformat == 14 else "image/jpeg", bytes(c)))


INFO_IDS = {b"INAM": "TITLE", b"IART": "ARTIST", b"IPRD": "ALBUM", b"ICRD": "DATE",
            b"IGNR": "GENRE", b"ICMT": "COMMENT", b"ITRK": "TRACKNUMBER", b"IPRT": "TRACKNUMBER"}


def from_info(path, out):
    """RIFF INFO lists, which mutagen does not read, for the fields the ID3 chunk leaves out."""
    data = open(path, "rb").read()
    if data[:4] not in (b"RIFF", b"RF64") or data[8:12] != b"WAVE":
        return
    pos = 12
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], int.from_bytes(data[pos + 4:pos + 8], "little")
        if cid == b"data" and size == 0xFFFFFFFF:
            size = int.from_bytes(data[36:44], "little")
        if cid == b"LIST" and data[pos + 8:pos + 12] == b"INFO":
            at, end = pos + 12, pos + 8 + size
            while at + 8 <= end:
                sid, n = data[at:at + 4], int.from_bytes(data[at + 4:at + 8], "little")
                if sid in INFO_IDS:
                    text = data[at + 8:at + 8 + n].split(b"\0")[0].decode("utf-8")
                    out.setdefault(INFO_IDS[sid], text)
                at += 8 + n + (n & 1)
        pos += 8 + size + (size & 1)


def main(path):
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        f = mutagen.File(path)
    out, pictures = {}, []
    if f is not None and f.tags is not None:
        kind = type(f.tags).__name__
        if kind in ("ID3", "_WaveID3", "_IFFID3"):
            from_id3(f.tags, out, pictures)
        elif kind == "MP4Tags":
            from_mp4(f.tags, out, pictures)
        else:
            from_vorbis(f, out, pictures)
    if type(f).__name__ == "WAVE":
        from_info(path, out)
    lines = ["%s=%s" % (k, v) for k, v in out.items() if k in FIELDS]
    lines += ["PICTURE=" + p for p in pictures]
    print("\n".join(sorted(lines)))


main(sys.argv[1])
