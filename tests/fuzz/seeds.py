#!/usr/bin/env python3
"""Writes the small seed corpora in corpus/<target>/ (run once; the files are
committed). Compressed streams come from mscompress, whole files from
qoxpack: python3 seeds.py QOXPACK STUB"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
QOXPACK, STUB = sys.argv[1], sys.argv[2]


def entry(name, data, block=0x52A46C00, size=None):
    return name + b"\0" + struct.pack("<Ii", block, len(data) if size is None else size) + data


def szdd(data):
    with tempfile.TemporaryDirectory() as d:
        p = os.path.join(d, "f.bin")
        with open(p, "wb") as f:
            f.write(data)
        subprocess.run(["mscompress", p], check=True, capture_output=True)
        with open(p + "_" if os.path.exists(p + "_") else p, "rb") as f:
            return f.read()


def save(target, name, blob):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(blob)


TEXT = b"[setup]\nname=sample\npath=C:\\APP\n" * 4
SETUP = b"#!/bin/sh\necho installing\n"
STREAM = (entry(b"SETUP.EXE", SETUP) + entry(b"DATA\\README.TXT", TEXT)
          + entry(b"EMPTY", b"") + entry(b"NEG", b"", size=-5))

for name, text in {
    "plain": b"setup.exe", "chained": b"setup.exe,setup1.exe", "auto-self": b"setup.exe,auto,self",
    "space": b"setup.exe, setup1.exe", "empty-second": b"setup.exe,,self", "empty": b"",
    "commas": b"a,b,c,d, e", "long": b"x" * 519, "unended": b"y" * 520,
    "late-chain": b"z" * 514 + b",abcd",
}.items():
    save("record", name, text + (b"\0" if len(text) < 520 else b""))

save("walk", "entries", b"\0\0\0" + STREAM)
save("walk", "cut-chunks", b"\3\0\0" + STREAM[:-3])
save("walk", "trailing", b"\4\x20\0" + STREAM + entry(b"EVIL", b"x" * 20))
save("walk", "long-name", b"\0\0\0" + entry(b"N" * 255, b"data") + entry(b"B\\..\\~un2", b""))
save("walk", "read-error", b"\x09\0\x02" + STREAM)
save("walk", "no-zero", b"\0\0\0" + b"Q" * 300)
save("walk", "file-short", b"\0\x90\0" + STREAM)

packed = szdd(STREAM)
save("expand", "archive", b"\0\0" + packed)
save("expand", "text-1byte-reads", b"\1\0" + szdd(TEXT * 8))
save("expand", "zeros", b"\5\0" + szdd(bytes(5000)))
save("expand", "cut", b"\6\0" + packed[:-7])
save("expand", "read-error", b"\x0b\x01" + packed)
save("expand", "bad-mode", b"\0\0" + packed[:8] + b"B" + packed[9:])

save("roundtrip", "text", TEXT)
save("roundtrip", "stream", STREAM)
save("roundtrip", "runs", b"a" * 40 + b"ab" * 30 + bytes(range(256)))

with tempfile.TemporaryDirectory() as d:
    src = os.path.join(d, "in")
    os.makedirs(os.path.join(src, "DATA"))
    for rel, data in (("SETUP.SH", SETUP), ("DATA/README.TXT", TEXT)):
        with open(os.path.join(src, rel), "wb") as f:
            f.write(data)
    out = os.path.join(d, "x.run")
    for name, opts in (("manual", ["--run", "SETUP.SH"]), ("auto-self", ["--run", "SETUP.SH", "--auto", "--self"])):
        subprocess.run([QOXPACK, "create", "-o", out, "--stub", STUB, *opts, src],
                       check=True, capture_output=True)
        with open(out, "rb") as f:
            tail = f.read()[32768:]
        save("verify", name, b"\0" + tail)
    save("verify", "crafted", b"\0" + b"SETUP.EXE,auto\0" + packed)
    save("verify", "cut", b"\0" + b"SETUP.EXE\0" + packed[:-9])
    save("verify", "short-file", b"\1" + b"\177ELF" + bytes(100))
