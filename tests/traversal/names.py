"""Reads names.txt: (verdict, name bytes, line number) for each entry line."""

import os
import re

LINE = re.compile(rb'^(lands|refused|either)\s+"((?:[^"\\]|\\.)*)"\s*(#.*)?$')


def unescape(text):
    out, i = bytearray(), 0
    while i < len(text):
        c = text[i:i + 1]
        if c != b"\\":
            out += c
            i += 1
        elif text[i + 1:i + 2] == b"x":
            out.append(int(text[i + 2:i + 4], 16))
            i += 4
        else:
            out += text[i + 1:i + 2]
            i += 2
    return bytes(out)


def load(path=os.path.join(os.path.dirname(os.path.abspath(__file__)), "names.txt")):
    names = []
    with open(path, "rb") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip(b"\n")
            if not line.strip() or line.startswith(b"#"):
                continue
            m = LINE.match(line)
            if not m:
                raise ValueError("names.txt:%d: not a name line: %r" % (number, line))
            names.append((m.group(1).decode(), unescape(m.group(2)), number))
    return names
