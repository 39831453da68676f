#!/usr/bin/env python3
"""Writes the seed inputs of fuzz/corpus/ from the examples the tests and
the help use. Run it after changing a target's input layout; the seeds are
kept in the tree.

Targets that read their input with FuzzedDataProvider take strings from the
front (a backslash is doubled, a backslash and another byte end the string)
and integers from the back, one byte each for a small range, the first one
asked for being the last byte."""
import pathlib
import zlib

CORPUS = pathlib.Path(__file__).resolve().parent / "corpus"


def text(s):
    """A string for ConsumeRandomLengthString."""
    return s.replace(b"\\", b"\\\\") + b"\\;"


def ints(*values):
    """Integers in the order the target asks for them; each a list of the
    bytes it consumes (first consumed first)."""
    out = b""
    for consumed in values:
        out = bytes(reversed(consumed)) + out
    return out


def field(s, width, pad=b" "):
    return s[:width].ljust(width, pad)


def trailer_fields(title, artist=b"", album=b"", year=b"", comment=b"", genre=0, pad=b" "):
    """The 125 bytes of a trailer after "TAG"."""
    return (field(title, 30, pad) + field(artist, 30, pad) + field(album, 30, pad) +
            field(year, 4, pad) + field(comment, 30, pad) + bytes([genre]))


SO = b"\x83\x5c"  # "ソ", whose second byte is a backslash
SLASH = b"\x81\x5e"  # full-width "／"

seeds = {
    "fuzz_cp932": {
        "utf8-so": "/tmp/ソ.mp3".encode(),
        "cp932-so-backslash": b"dir\\" + SO + b".mp3",
        "utf8-yen": "/tmp/a¥b.mp3".encode(),
        "utf8-wave-dash": "/tmp/〜.mp3".encode(),
        "cp932-half-width": SO + b"\xb1",
    },
    "fuzz_split_path": {
        "drive": b"C:\\music\\a.b.mp3",
        "so": b"C:\\" + SO + b"\\" + SO + b".mp3",
        "slashes": b"/home/u/x.mp3",
        "dot-dot": b"C:..",
        "lead-colon": b"\x81:x",
        "wildcard": b"C:\\m\\*.mp3",
        "deep": b"/" + b"d" * 300 + b"/" + b"e" * 298 + b"/x.mp3",
    },
    "fuzz_expand_rule": {
        # folder, position (two bytes, high first), kind; rule, name, trailer
        "title-artist": text(b"$T($A).mp3") + text(b"x.mp3") +
        trailer_fields(b"Love", b"Kei") + ints([0], [0, 0], [0]),
        "album-so": text(b"$R.$T($A" + SLASH + b"$L).mp3") + text(SO + b".mp3") +
        trailer_fields(SO, b"A", b"B", pad=b"\0") + ints([2], [0, 4], [0]),
        "extension": text(b"$F.EXT") + text(b"a.b.mp3") + trailer_fields(b"") + ints([1], [0, 0], [1]),
        "deep-link": text(b"$T.mp3") + text(b"y" * 100 + b".mp3") +
        trailer_fields(b"t" * 30, pad=b"\0") + ints([3], [3, 255], [3]),
    },
    "fuzz_tag": {
        # genre item + 1, last genre, where; five texts, then the file's bytes
        "spaces": text(b"Love") + text(b"Kei") + text(b"Album") + text(b"2024") +
        text(b"comment  ") + b"\xff" * 300 + ints([13], [0], [0]),
        "so-link-nul-trailer": text(SO + b"  ") + text(b"") + text(b"x" * 35) + text(b"19") +
        text(b"") + b"\xff" * 200 + b"TAG" + trailer_fields(b"Old", pad=b"\0") + ints([0], [7], [1]),
        "pipe": text(b"a") + text(b"b") + text(b"c") + text(b"d") + text(b"e") + b"short" +
        ints([150], [255], [2]),
        # A file that is all ID3v2 tag, "TAG" 128 bytes before its end.
        "inside-id3v2": text(b"New") + text(b"") + text(b"") + text(b"") + text(b"") +
        b"ID3\x03\0\0\0\0\x02\x48" + bytes(200) + b"TAG" + trailer_fields(b"Inside") +
        ints([1], [0], [0]),
    },
    "fuzz_settings": {
        "far-position": b"[General]\nParamExist=1\nleft=2147483647\ntop=2147483647\n"
        b"width=411\nheight=321\ned1=$T($A).mp3\ncb1=0\ncb3=1\n",
        "wrong-type": b"[General]\nParamExist=1\ned1=$F.mp3\ncb1=1\nleft=abc\nwidth=600\n",
        "garbled": b"[General\nParamExist=1\n\x01\x02junk=\n",
        "long-rule": b"[General]\nParamExist=1\ned1=a" + "曲".encode() * 60 + b"\n",
        "list": b"[General]\nParamExist=1\ned1=a,b\nleft=-20\ntop=  7 \n",
    },
}

# fuzz_rename: the folder and rows of fuzz/FuzzFolder.h, every value one
# byte (its offset in its range): things, then per thing a name, a kind
# (0 file, 2 folder, 3 pipe, 4 link + target, 5 hard link + name), the
# current folder (0 /m), rows less one, then per row a name and a choice (5: a name
# of the list + name, 2: an odd name + index), then the answers (1 Yes).
A, B, SONG, SO_NAME, SUB, SELVANE_BK, X = 0, 1, 2, 3, 4, 6, 7


def folder(*values):
    return ints(*[[v] for v in values])


seeds["fuzz_rename"] = {
    # A link listed alone, named as the file it leads to.
    "link-to-target": folder(2, SONG, 0, X, 4, SONG, 0, 0, X, 5, SONG, 1),
    # The file and a link to it, both named alike.
    "file-and-link": folder(2, A, 0, B, 4, A, 0, 1, A, 5, SONG, B, 5, SONG, 1, 1),
    # Hard links: a second name of one file given the first one's name.
    "hard-link": folder(2, A, 0, B, 5, A, 0, 0, B, 5, A, 1),
    # A file under the temporary name in the current folder.
    "temporary-taken": folder(3, A, 0, B, 0, SELVANE_BK, 0, 0, 0, A, 5, B, 1),
    # Refused names: a newline, a leading dot, a byte that is not Shift-JIS,
    # "..", a forbidden character (on a pipe).
    "refused": folder(6, A, 0, B, 0, SONG, 3, SUB, 2, X, 0, SO_NAME, 0, 0, 4, A, 2, 2, B, 2, 9,
                      SO_NAME, 2, 11, X, 2, 6, SONG, 2, 0),
    # Cases where the forecast and the run once parted:
    # another spelling of a name a later row takes;
    "spelling": text(b"/Song.mp3") + folder(2, A, 0, B, 0, 0, 1, A, 4, B, 5, SONG, 1, 1),
    # a row whose file is gone before the run, at the name an earlier row takes;
    "gone": folder(1, A, 0, 0, 1, A, 5, B, B, 5, SONG, 1, 1),
    # a listed folder and a listed file in it;
    "folder": folder(2, SUB, 2, 5, 0, 0, 1, SUB, 5, X, 5, 5, 8, 1, 1),
    # a link moved onto the name it leads to, once that file has moved away.
    "link": folder(3, A, 0, SELVANE_BK, 4, A, SONG, 0, 0, 2, A, 5, 9, SELVANE_BK, 5, A,
                             SONG, 5, A, 1, 1, 1),
}


def id3v2_tag(version, frames, flags=0, ext=b""):
    """An ID3v2 tag: header, extended header, frames, a little padding."""
    body = ext + frames + bytes(8)
    size = len(body)
    return (b"ID3" + bytes([version, 0, flags]) +
            bytes([(size >> 21) & 0x7F, (size >> 14) & 0x7F, (size >> 7) & 0x7F, size & 0x7F]) +
            body)


def synchsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def id3v2_frame(frame_id, payload, version=3, flags=0):
    n = len(payload)
    if version == 2:
        return frame_id + n.to_bytes(3, "big") + payload
    size = synchsafe(n) if version == 4 else n.to_bytes(4, "big")
    return frame_id + size + b"\0" + bytes([flags]) + payload


# The test files of tests/fixtures/id3v2 (written by mutagen) and, beside
# them, what mutagen does not write: a 2.3 tag unsynchronised as a whole and
# one with an extended header.
fixtures = pathlib.Path(__file__).resolve().parent.parent / "tests" / "fixtures" / "id3v2"
seeds["fuzz_id3v2"] = {p.name: p.read_bytes() for p in sorted(fixtures.glob("*.mp3"))}
KOI = "恋のうた".encode("cp932")
seeds["fuzz_id3v2"]["unsynchronised"] = id3v2_tag(
    3, id3v2_frame(b"TIT2", b"\0" + KOI.replace(b"\xff", b"\xff\0")), flags=0x80)
seeds["fuzz_id3v2"]["extended-header"] = id3v2_tag(
    3, id3v2_frame(b"TPE1", b"\x01\xff\xfe" + "井上".encode("utf-16-le")), flags=0x40,
    ext=(6).to_bytes(4, "big") + bytes(6))
seeds["fuzz_id3v2"]["latin1-senor"] = b"Se\xf1or"
# Compressed frames: a title, and one that inflates to a megabyte.
ATSU = b"\x01\xff\xfe" + "圧縮".encode("utf-16-le")
seeds["fuzz_id3v2"]["compressed"] = id3v2_tag(
    3, id3v2_frame(b"TIT2", len(ATSU).to_bytes(4, "big") + zlib.compress(ATSU), flags=0x80))
BOMB = b"\0A" + bytes(1 << 20)
seeds["fuzz_id3v2"]["compressed-bomb"] = id3v2_tag(
    4, id3v2_frame(b"TIT2", synchsafe(len(BOMB)) + zlib.compress(BOMB, 9), version=4, flags=0x09))
# A 2.2 frame shorter than a 2.3 frame header.
seeds["fuzz_id3v2"]["v22-short-frame"] = id3v2_tag(2, id3v2_frame(b"TT2", b"\0A", version=2))

# fuzz_id3v2_splice: per field (title, artist, album, year, comment, genre)
# 0 unchanged, 1 emptied, 2 a value, taken in that order from the front;
# then the tag block.
def edit(block, *values):
    kinds = [0 if v is None else 1 if v == b"" else 2 for v in values]
    return b"".join(text(v) for v in values if v) + block + ints(*[[k] for k in kinds])


def utf16(s):
    return b"\x01" + s.encode("utf-16")


KOI_COMMENT = b"\x01eng\xff\xfe\0\0" + "古い".encode("utf-16-le")
seeds["fuzz_id3v2_splice"] = {
    "v23-title-comment": edit(id3v2_tag(3, id3v2_frame(b"TIT2", utf16("題")) +
                                        id3v2_frame(b"COMM", KOI_COMMENT) +
                                        id3v2_frame(b"COMM", b"\0engiTunNORM\0 0001")),
                              "新しい".encode("cp932"), None, None, None, b"c", None),
    "v24-year-album": edit(id3v2_tag(4, id3v2_frame(b"TDRC", b"\x032001-05-12", 4) +
                                     id3v2_frame(b"TALB", b"\x03" + "旅".encode(), 4)),
                           None, None, b"", b"2024", None, b"Rock"),
    "v22": edit(b"ID3\x02\0\0\0\0\0\x1a" + b"TT2\0\0\x04\0abc" + b"COM\0\0\x05\0eng\0" + bytes(5),
                b"t", b"a", None, None, b"c", None),
    "no-tag": edit(b"", b"t", None, None, None, None, b"Pop"),
    "extended-header": edit(id3v2_tag(3, id3v2_frame(b"TPE1", utf16("井上")), flags=0x40,
                                      ext=(6).to_bytes(4, "big") + bytes(6)),
                            b"t", b"", None, None, None, None),
    "no-padding": edit(b"ID3\x03\0\0\0\0\0\x11" + id3v2_frame(b"TIT2", utf16("短")),
                       b"longer title", None, None, None, None, None),
}

for target, files in seeds.items():
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    for name, data in files.items():
        (folder / name).write_bytes(data)
