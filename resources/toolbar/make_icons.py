#!/usr/bin/env python3
"""Draws the shell's toolbar buttons (16x16) and window icons as PNG files.

Each picture is pixel art: one character per pixel, looked up in PALETTE ('.' is transparent).
Run from anywhere; it writes next to itself (toolbar/) and into ../app/. Standard library only.
"""
import os
import struct
import zlib

PALETTE = {
    '.': (0, 0, 0, 0),
    'k': (0, 0, 0, 255),          # outline
    'w': (255, 255, 255, 255),
    'g': (128, 128, 128, 255),
    'l': (192, 192, 192, 255),
    'y': (255, 215, 0, 255),      # folder, highlight
    'o': (200, 140, 0, 255),      # folder shade
    'b': (0, 70, 200, 255),       # blue: links, disk
    'c': (90, 170, 255, 255),     # light blue: glass
    'r': (210, 30, 30, 255),      # red: nodes, routes
    'n': (0, 150, 60, 255),       # green: curves
    'p': (140, 60, 170, 255),     # purple: script
}

ICONS = {
    'toolbar/new.png': [
        "................",
        "..kkkkkkkk......",
        "..kwwwwwwkk.....",
        "..kwwwwwwkwk....",
        "..kwwwwwwkkkk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kkkkkkkkkkk...",
        "................",
    ],
    'toolbar/open.png': [
        "................",
        "................",
        "..........kkk...",
        ".........k...k.k",
        ".kkk.........kk.",
        "kyyyk.......kkk.",
        "kyyyykkkkkk.....",
        "kyyyyyyyyyk.....",
        "kyyykkkkkkkkkk..",
        "kyykoooooooook..",
        "kykoooooooook...",
        "kkoooooooook....",
        "kkkkkkkkkkk.....",
        "................",
        "................",
        "................",
    ],
    'toolbar/save.png': [
        "................",
        ".kkkkkkkkkkkkkk.",
        ".kbkwwwwwwwwkbk.",
        ".kbkwwwwwwwwkbk.",
        ".kbkwwwwwwwwkbk.",
        ".kbkwwwwwwwwkbk.",
        ".kbbkkkkkkkkbbk.",
        ".kbbbbbbbbbbbbk.",
        ".kbbkkkkkkkkbbk.",
        ".kbbklkkllllkbk.",
        ".kbbklkkllllkbk.",
        ".kbbklkkllllkbk.",
        "..kbkllllllllbk.",
        "...kkkkkkkkkkkk.",
        "................",
        "................",
    ],
    'toolbar/routes.png': [
        "................",
        ".kkk............",
        ".krk............",
        ".kkkbbbbbbbb....",
        "..b........b....",
        "..b.......kkk...",
        "..b.......krk...",
        "..b.......kkk...",
        "..b........r....",
        ".kkk.......r....",
        ".krk.......r..r.",
        ".kkk.......r.rr.",
        "...........rrrr.",
        "...........rrrr.",
        "................",
        "................",
    ],
    'toolbar/metrics.png': [
        "................",
        ".kkkkkkkkkkkk...",
        ".kk.........k...",
        "..kk............",
        "...kk...........",
        "....kk..........",
        ".....kk.....nnn.",
        "......k....n...n",
        ".....kk....n.....",
        "....kk......n...",
        "...kk........n..",
        "..kk..........n.",
        ".kk.........k.n.",
        ".kkkkkkkkkkkk.n.",
        "..........n..n..",
        "...........nn...",
    ],
    'toolbar/graph.png': [
        "................",
        ".k..............",
        ".k...........r..",
        ".k..........r...",
        ".k.........r....",
        ".k...nn...r.....",
        ".k..n..n.r......",
        ".k.n....nr......",
        ".kn.....r.n.....",
        ".k.....r...n....",
        ".k..rrr.....nn..",
        ".k.r..........n.",
        ".kr.............",
        ".kkkkkkkkkkkkkk.",
        "................",
        "................",
    ],
    'toolbar/nsscript.png': [
        "................",
        "...kkkkkkkkkk...",
        "..kwwwwwwwwwwk..",
        "..kwkkkkkkkwwk..",
        "..kwwwwwwwwwwk..",
        "..kwkkkkkwwwwk..",
        "..kwwwwwwwwwwk..",
        "..kwppwwwpppwk..",
        "..kwpwpwpwwwwk..",
        "..kwpwpwwppwwk..",
        "..kwpwpwwwwpwk..",
        "..kwpwpwpppwwk..",
        "..kwwwwwwwwwwk..",
        "...kkkkkkkkkk...",
        "................",
        "................",
    ],
    'toolbar/zoomout.png': [
        "................",
        "....kkkk........",
        "..kkccccckk.....",
        "..kccccccccck...",
        ".kcccccccccck...",
        ".kcbbbbbbbcck...",
        ".kcccccccccck...",
        ".kcccccccccck...",
        "..kcccccccck....",
        "..kkcccccckk....",
        "....kkkkkkkkk...",
        "...........kkk..",
        "............kkk.",
        ".............kk.",
        "................",
        "................",
    ],
    'toolbar/print.png': [
        "................",
        "....kkkkkkkk....",
        "....kwwwwwwk....",
        "....kwkkkkwk....",
        "....kwwwwwwk....",
        "..kkkkkkkkkkkk..",
        ".kllllllllllllk.",
        ".klllllllllnnlk.",
        ".kllllllllllllk.",
        ".kggggggggggggk.",
        ".kgkwwwwwwwwkgk.",
        "..kkwkkkkkkwkk..",
        "....kwwwwwwk....",
        "....kkkkkkkk....",
        "................",
        "................",
    ],
    'toolbar/about.png': [
        "................",
        ".....kkkkkk.....",
        "....kbbbbbbk....",
        "...kbbkkkkbbk...",
        "...kbbk..kbbk...",
        "....kk...kbbk...",
        ".........kbbk...",
        "........kbbk....",
        ".......kbbk.....",
        "......kbbk......",
        "......kbbk......",
        ".......kk.......",
        "......kbbk......",
        "......kbbk......",
        ".......kk.......",
        "................",
    ],
    'app/network_window.png': [
        "................",
        ".kkk............",
        ".krk.........kkk",
        ".kkkb.......bkrk",
        "....bb....bb.kkk",
        ".....bb..bb.....",
        "......bkkb......",
        "......krrk......",
        "......krrk......",
        "......bkkb......",
        ".....bb..bb.....",
        "....bb....bb....",
        ".kkkb......bkkk.",
        ".krk........krk.",
        ".kkk........kkk.",
        "................",
    ],
    'app/graph_window.png': [
        "................",
        ".k..............",
        ".k..........rr..",
        ".k.........r....",
        ".k........r.....",
        ".k..nnn..r......",
        ".k.n...nr.......",
        ".kn....r.n......",
        ".k....r...n.....",
        ".k...r.....nn...",
        ".k.rr........n..",
        ".kr...........n.",
        ".k..............",
        ".kkkkkkkkkkkkkk.",
        "................",
        "................",
    ],
}


def scale2(rows):
    out = []
    for row in rows:
        wide = ''.join(ch * 2 for ch in row)
        out += [wide, wide]
    return out


def with_plus(rows):
    out = [list(r) for r in rows]
    for y in range(3, 8):
        out[y][6] = 'b'
    return [''.join(r) for r in out]


# Zoom In is the Zoom Out glass with the bar crossed into a plus.
ICONS['toolbar/zoomin.png'] = with_plus(ICONS['toolbar/zoomout.png'])

# Undo: an arrow curving back to the left; Redo is its mirror image.
ICONS['toolbar/undo.png'] = [
    "................",
    "................",
    "....k...........",
    "...kbk..........",
    "..kbbkkkkkkk....",
    ".kbbbbbbbbbbkk..",
    "..kbbkkkkkkbbbk.",
    "...kbk.....kkbbk",
    "....k........kbk",
    ".............kbk",
    ".............kbk",
    "............kbk.",
    "..........kkbk..",
    "..........kkk...",
    "................",
    "................",
]
ICONS['toolbar/redo.png'] = [row[::-1] for row in ICONS['toolbar/undo.png']]

# The program's 32x32 icon: the network-window picture drawn at twice the size.
ICONS['app/varlo.png'] = scale2(ICONS['app/network_window.png'])


def write_png(path, rows):
    width = max(len(r) for r in rows)
    raw = bytearray()
    for row in rows:
        raw.append(0)  # filter: none
        for x in range(width):
            ch = row[x] if x < len(row) else '.'
            raw += bytes(PALETTE[ch])
    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xFFFFFFFF)
    header = struct.pack('>IIBBBBB', width, len(rows), 8, 6, 0, 0, 0)  # 8-bit RGBA
    png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + \
        chunk(b'IEND', b'')
    with open(path, 'wb') as f:
        f.write(png)


def main():
    resources = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    for name, rows in ICONS.items():
        write_png(os.path.join(resources, name), [r[:16 if len(rows) == 16 else 32] for r in rows])


if __name__ == '__main__':
    main()
