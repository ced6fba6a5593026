#!/usr/bin/env python3
"""Compares the picture inside a screenshot PNG with the harness's game scene:
sky in bands of 8 rows (90, 140 + y / 8, 230) above two thirds of the
screen's height, grass (40, 130, 40) below, a sun of radius 60 around
(700, 200), and on Windows a white square of 16 moving along the grass 88
rows below its top (there a pixel may be grass or white). The window sits at 0,0 of a 1024 x 768 screen; the PNG's
text says where the area lies and the sample rate. Pixels near the sun's rim
are skipped (the window draws it with an outline).
   check_scene.py PNG..."""
import re
import struct
import sys
import zlib

SCREEN_HEIGHT = 768


def scene(x, y):
    """The scene's colours at screen pixel x, y (one, or the grass and the
    runner's white), or None near the sun's rim."""
    d2 = (x - 700) ** 2 + (y - 200) ** 2
    if 56 * 56 <= d2 <= 63 * 63:
        return None
    if d2 < 56 * 56:
        return ((255, 220, 60),)
    ground = SCREEN_HEIGHT * 2 // 3
    if ground + 88 <= y < ground + 88 + 16:
        return ((40, 130, 40), (255, 255, 255))
    if y >= ground:
        return ((40, 130, 40),)
    return ((90, 140 + y // 8, 230),)


def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    at, idat, text, width, height = 8, b"", "", 0, 0
    while at + 12 <= len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height = struct.unpack(">II", body[:8])
        elif kind == b"tEXt":
            text = body.split(b"\0", 1)[1].decode("latin-1")
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    rows = zlib.decompress(idat)
    return width, height, text, rows


def check(path):
    width, height, text, rows = read_png(path)
    capture = re.search(r"Capture: DirectDraw (\d+)x(\d+) of \d+x\d+, rate (\d+)", text)
    window = re.search(r"Window: \d+x\d+ at (-?\d+),(-?\d+)", text)
    if not capture or not window:
        print(f"{path}: not a DirectDraw capture: {text!r}")
        return False
    sampled_w, sampled_h, rate = (int(v) for v in capture.groups())
    offset_x, offset_y = (int(v) for v in window.groups())
    # The image sits 10 rows down, centred between margins of equal width.
    left = (width - sampled_w) // 2
    top = 10
    stride = 1 + 3 * width
    compared = wrong = white = 0
    for sy in range(sampled_h):
        for sx in range(sampled_w):
            want = scene(offset_x + sx * rate, offset_y + sy * rate)
            if want is None:
                continue
            at = (top + sy) * stride + 1 + 3 * (left + sx)
            got = tuple(rows[at:at + 3])
            compared += 1
            white += got == (255, 255, 255)
            if got not in want:
                if wrong < 5:
                    print(f"{path}: pixel {sx},{sy} (screen {offset_x + sx * rate},{offset_y + sy * rate}) "
                          f"is {got}, the scene has {want}")
                wrong += 1
    print(f"{path}: {sampled_w}x{sampled_h} at {offset_x},{offset_y} rate {rate}: "
          f"{compared} pixels compared, {wrong} differ, {white} of the moving square")
    return compared > 0 and wrong == 0


if __name__ == "__main__":
    results = [check(path) for path in sys.argv[1:]]
    sys.exit(0 if results and all(results) else 1)
