#!/usr/bin/env python3
"""Writes small valid and malformed seed inputs for each fuzz target into fuzz/corpus/<target>/."""
import math
import os
import struct
import sys

root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "fuzz", "corpus")


def put(target, name, data):
    folder = os.path.join(root, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def wav(channels=1, rate=44100, bits=16, fmt_tag=1, samples=b"", fmt_size=16, before=b"", after=b"",
        data_size=None, riff_size=None, block_align=None, byte_rate=None):
    ba = channels * bits // 8 if block_align is None else block_align
    br = rate * ba if byte_rate is None else byte_rate
    fmt = struct.pack("<hhiihh", fmt_tag, channels, rate, br, ba, bits) + b"\0" * (fmt_size - 16)
    body = b"WAVE" + b"fmt " + struct.pack("<i", fmt_size) + fmt + before
    body += b"data" + struct.pack("<i", len(samples) if data_size is None else data_size) + samples + after
    return b"RIFF" + struct.pack("<i", len(body) if riff_size is None else riff_size) + body


def sine(frames, channels=1, amp=20000, freq=1000, rate=44100):
    out = bytearray()
    for i in range(frames):
        v = int(round(amp * math.sin(2 * math.pi * freq * i / rate)))
        out += struct.pack("<h", v) * channels
    return bytes(out)


short = sine(2000)
stereo = sine(2000, 2)
list_chunk = b"LIST" + struct.pack("<i", 4) + b"INFO"
wavs = {
    "mono": wav(samples=short),
    "stereo": wav(channels=2, samples=stereo),
    "fmt18": wav(samples=short, fmt_size=18),
    "list": wav(samples=short, before=list_chunk),
    "trailer": wav(samples=short, after=list_chunk),
    "bad_riff": wav(samples=short, riff_size=5),
    "truncated": wav(samples=short, data_size=len(short) + 1001),
    "six_channels": wav(channels=6, samples=short),
    "block_align_0": wav(samples=short, block_align=0, data_size=len(short) + 10),
    "byte_rate_0": wav(samples=short, byte_rate=0),
    "top_bit": wav(samples=short, data_size=-1),
    "no_data": wav(samples=b"")[:-8],
    "eight_bit": wav(bits=8, samples=bytes(range(256))),
}
for name, data in wavs.items():
    put("fuzz_wav_time", name, data)
put("fuzz_wav_time", "empty", b"")
put("fuzz_wav_time", "riff_only", b"RIFF")

# The steps target: 8 option bytes, then sample bytes.
for i, (opts, samples) in enumerate([
    (bytes([0, 7, 0, 0, 190, 0, 2, 2]), sine(20000)),
    (bytes([1, 8, 0, 1, 190, 8, 2, 0]), sine(20000, 2)),
    (bytes([0, 7, 1, 0, 190, 250, 0, 7]), b"\0" * 4000 + sine(20000) + b"\0" * 4000),
    (bytes([1, 9, 0, 0, 250, 4, 1, 1]), sine(3000, 2)),
]):
    put("fuzz_wav_steps", "seed%d" % i, opts + samples)


def id3v1(title=b"Title", artist=b"Artist", album=b"Album", year=b"2001", comment=b"Comment", track=3, genre=17):
    c = comment.ljust(28, b"\0") + (b"\0" + bytes([track]) if track is not None else b"\0\0")
    return b"TAG" + title.ljust(30, b"\0") + artist.ljust(30, b"\0") + album.ljust(30, b"\0") + year.ljust(4, b"\0") + c + bytes([genre])


def syncsafe(n):
    return bytes([(n >> 21) & 127, (n >> 14) & 127, (n >> 7) & 127, n & 127])


def v2_frame(ident, text, major):
    body = b"\0" + text
    if major == 2:
        return ident + struct.pack(">I", len(body))[1:] + body
    size = syncsafe(len(body)) if major == 4 else struct.pack(">I", len(body))
    return ident + size + b"\0\0" + body


def id3v2(major):
    names = {2: (b"TT2", b"TP1", b"TAL", b"TYE", b"TCO", b"TRK", b"COM"),
             3: (b"TIT2", b"TPE1", b"TALB", b"TYER", b"TCON", b"TRCK", b"COMM"),
             4: (b"TIT2", b"TPE1", b"TALB", b"TDRC", b"TCON", b"TRCK", b"COMM")}[major]
    frames = b"".join(v2_frame(n, t, major) for n, t in zip(names, [b"Song", b"Band", b"Record", b"1999", b"(17)", b"4/12", b"eng\0Nice"]))
    return b"ID3" + bytes([major, 0, 0]) + syncsafe(len(frames) + 10) + frames + b"\0" * 10


audio = b"\xff\xfb\x90\x00" + b"\0" * 400
put("fuzz_id3", "v1", audio + id3v1())
put("fuzz_id3", "v1_0", audio + id3v1(track=None, genre=255))
for major in (2, 3, 4):
    put("fuzz_id3", "v2_%d" % major, id3v2(major) + audio + id3v1())
put("fuzz_id3", "huge_claim", b"ID3\x03\x00\x00" + syncsafe((1 << 28) - 1) + b"TIT2")
put("fuzz_id3", "short", b"ID3")


def v2_raw(ident, body):
    return ident + struct.pack(">I", len(body)) + b"\0\0" + body


# Texts in every encoding, a picture and the frames carried whole, as a tag and as WAV chunks.
rich = b"".join([
    v2_raw(b"TIT2", b"\x01\xff\xfeH\0i\0\x3d\xd8\x00\xde"), v2_raw(b"TPE1", b"\x03Bj\xc3\xb6rk\0Kino"),
    v2_raw(b"TALB", b"\x02\x04\x1a\0a"), v2_raw(b"COMM", b"\x01eng\xff\xfed\0\0\0\xff\xfeN\0o\0"),
    v2_raw(b"APIC", b"\0image/png\0\x03Cover\0\x89PNG" + b"\0" * 32), v2_raw(b"TPE2", b"\0Various"),
    v2_raw(b"TXXX", b"\0REPLAYGAIN_TRACK_GAIN\0-3 dB"), v2_raw(b"APIC", b"\0x")])
rich_tag = b"ID3\x03\0\0" + syncsafe(len(rich) + 10) + rich + b"\0" * 10
put("fuzz_id3", "v23_rich", rich_tag + audio)
info = b"INFO" + b"INAM\x06\0\0\0Title\0" + b"IART\x03\0\0\0Art\0"
put("fuzz_id3", "wav_chunks", wav(samples=b"\0" * 40, after=b"LIST" + struct.pack("<i", len(info)) + info
                                   + b"id3 " + struct.pack("<i", len(rich_tag)) + rich_tag))

put("fuzz_settings", "defaults", b"[Values]\nAnalyze=1\nLevel=0\nTrim=1\nEncode=1\nNewLevel=-1,5\n0Lead=0.2\n1Lead=0,3\n"
    b"0Level=30\n1Level=24\n2Level=24\n3Level=30\nArguments=-h -b 192\nPinkRef=64.82\nRmsPercent=0.95\nRmsDiff=30\n0ID3=1\n6ID3=0\n")
put("fuzz_settings", "other_sections", b"; comment\r\n[Other]\r\nNewLevel=5\r\n[values]\r\nnewlevel = 3\r\nRmsPercent=1.5\r\n")
put("fuzz_settings", "empty", b"")

put("fuzz_command_line", "typical", b"/tmp/a.wav\0/ana1\0/lev1\0/nl\0-1,5\0/tr0\0/lame\0-b 192\0/dest\0/tmp/out/.mp3")
put("fuzz_command_line", "keys", b"/ANA 1\0/li0.5\0/lo\0001.000,5\0/rp\0.9\0/dest\0\"x.wav\"\0/")
put("fuzz_command_line", "help", b"--help\0--version")
