#!/usr/bin/env python3
"""Checks that a change left the main window as it was: runs PROGRAM on the simulated card's
signals (50 headless passes each, with and without --generator) and compares its report and
screenshot with those an earlier build wrote into BASELINE (named as below, e.g. sim.json,
sim_pulse_490_25-gen.png).

- Reports: equal once the report's "Measurements" is left out (it must be there).
- Screenshots: equal outside the menu bar's right end (x from --right-end, y below --bar-height),
  where the measurement window's entry lies.

usage: tools/compare-main-window.py BASELINE PROGRAM [--right-end X] [--bar-height H]
Exit status 0 when every case holds; each case that does not is named.
"""
import argparse
import json
import os
import struct
import subprocess
import sys
import tempfile
import zlib

SIGNALS = ["", "=square", "=silence", "=loopback", "=pulse:490:25", "=pulse:490:25:linein"]


def read_png(path):
    """Width, height, bytes per pixel and the rows of an 8-bit RGB or RGBA PNG (as Qt writes)."""
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG")
    pos, idat, width, height, bpp = 8, b"", 0, 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or interlace != 0 or colour not in (2, 6):
                raise ValueError(f"{path}: only 8-bit RGB(A) without interlace is read")
            bpp = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
    raw = zlib.decompress(idat)
    stride = width * bpp
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - bpp] if i >= bpp else 0
            up = previous[i]
            corner = previous[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        rows.append(bytes(line))
        previous = line
    return width, height, bpp, rows


def pixels_differing(a, b):
    """Where two pictures of the same size differ: (x, y) of each pixel."""
    (wa, ha, ba, ra), (wb, hb, bb, rb) = a, b
    if (wa, ha) != (wb, hb):
        raise ValueError(f"sizes differ: {wa}x{ha} and {wb}x{hb}")
    for y in range(ha):
        if ra[y] == rb[y]:
            continue
        for x in range(wa):
            if ra[y][x * ba:x * ba + 3] != rb[y][x * bb:x * bb + 3]:
                yield x, y


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("baseline")
    parser.add_argument("program")
    parser.add_argument("--right-end", type=int, default=758,
                        help="first column of the menu bar's right end (default 758)")
    parser.add_argument("--bar-height", type=int, default=15,
                        help="the menu bar's height in pixels (default 15)")
    args = parser.parse_args()
    program = os.path.realpath(args.program)
    failures = checked = 0
    with tempfile.TemporaryDirectory() as out:
        for signal in SIGNALS:
            name = ("sim" + signal).replace("=", "_").replace(":", "_")
            for suffix, extra in (("", []), ("-gen", ["--generator"])):
                case = name + suffix
                report, picture = (os.path.join(out, case + ext) for ext in (".json", ".png"))
                subprocess.run([program, "--sim" + signal, "--passes", "50", *extra, "--report",
                                report, "--screenshot", picture], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, check=False)
                new = json.load(open(report))
                old = json.load(open(os.path.join(args.baseline, case + ".json")))
                measured = new.pop("Measurements", None)
                if measured is None or new != old:
                    keys = sorted(k for k in set(new) | set(old) if new.get(k) != old.get(k))
                    print(f"DIFFERS: {case}.json" + (" (no Measurements)" if measured is None else
                                                     f" in {', '.join(keys)}"))
                    failures += 1
                outside = [(x, y) for x, y in pixels_differing(
                    read_png(os.path.join(args.baseline, case + ".png")), read_png(picture))
                           if x < args.right_end or y >= args.bar_height]
                if outside:
                    print(f"DIFFERS: {case}.png in {len(outside)} pixels outside the menu bar's "
                          f"right end, the first at {outside[0]}")
                    failures += 1
                checked += 2
    if failures == 0:
        print(f"all {checked} reports and screenshots as before: reports but for Measurements, "
              f"screenshots but for the menu bar's right end (x >= {args.right_end}, "
              f"y < {args.bar_height})")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
