#!/usr/bin/env python3
"""Draws Varlo's own artwork: the four 32x32 node icons and the six 16x16 class-tree images.

Each picture is written as SVG and rendered to PNG with rsvg-convert at its exact pixel size.
Run from anywhere: python3 resources/icons/make_icons.py  (needs rsvg-convert on PATH).
The PNGs are committed; rerun only after changing a drawing here.
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

NAVY = "#1f3a68"
STEEL = "#4a79b8"
SKY = "#a9c8f0"
PALE = "#e8f0fb"
GREEN = "#2e8b3a"
ORANGE = "#d9822b"
PURPLE = "#7b3fa0"
RED = "#c0392b"


def svg(size, body):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{size}" height="{size}" '
            f'viewBox="0 0 {size} {size}">{body}</svg>\n')


# --- node icons, 32x32 ------------------------------------------------------------------------

HOST = svg(32, f'''
  <rect x="3.5" y="3.5" width="25" height="18" rx="2" fill="{PALE}" stroke="{NAVY}" stroke-width="1.6"/>
  <rect x="6.5" y="6.5" width="19" height="12" fill="{STEEL}"/>
  <path d="M8 9 h9 M8 12 h13 M8 15 h7" stroke="{SKY}" stroke-width="1.2"/>
  <path d="M13 21.5 L12 25.5 H20 L19 21.5" fill="{SKY}" stroke="{NAVY}" stroke-width="1.2"/>
  <rect x="6.5" y="25.5" width="19" height="3.5" rx="1" fill="{PALE}" stroke="{NAVY}" stroke-width="1.2"/>
''')

SWITCH = svg(32, f'''
  <rect x="2.5" y="9.5" width="27" height="13" rx="3" fill="{STEEL}" stroke="{NAVY}" stroke-width="1.6"/>
  <path d="M7 13.5 H22" stroke="white" stroke-width="1.6"/>
  <path d="M20 11 L24.5 13.5 L20 16 Z" fill="white"/>
  <path d="M25 18.5 H10" stroke="white" stroke-width="1.6"/>
  <path d="M12 16 L7.5 18.5 L12 21 Z" fill="white"/>
  <circle cx="5.5" cy="26.5" r="1.3" fill="{GREEN}"/>
  <circle cx="9.5" cy="26.5" r="1.3" fill="{GREEN}"/>
  <circle cx="13.5" cy="26.5" r="1.3" fill="{ORANGE}"/>
''')

JOIN = svg(32, f'''
  <path d="M4 5 C 12 5, 14 16, 16 16 M4 27 C 12 27, 14 16, 16 16" fill="none" stroke="{STEEL}"
        stroke-width="3" stroke-linecap="round"/>
  <path d="M16 16 H25" stroke="{NAVY}" stroke-width="3.4" stroke-linecap="round"/>
  <path d="M24 10.5 L30.5 16 L24 21.5 Z" fill="{NAVY}"/>
  <circle cx="16" cy="16" r="4.5" fill="{PALE}" stroke="{NAVY}" stroke-width="1.6"/>
''')

NET = svg(32, f'''
  <path d="M8.5 25.5 C 3 25.5, 2 18.5, 7.5 17.5 C 6.5 11.5, 14 9, 16.5 13 C 18 6.5, 27.5 7.5, 26 15
           C 31 15.5, 31 25.5, 25 25.5 Z" fill="{SKY}" stroke="{NAVY}" stroke-width="1.6"
        stroke-linejoin="round"/>
  <path d="M10 21.5 L16 17.5 L22 21.5" fill="none" stroke="{NAVY}" stroke-width="1.2"/>
  <circle cx="10" cy="21.5" r="1.8" fill="{STEEL}"/>
  <circle cx="16" cy="17.5" r="1.8" fill="{STEEL}"/>
  <circle cx="22" cy="21.5" r="1.8" fill="{STEEL}"/>
''')

# --- class-tree images, 16x16 -------------------------------------------------------------------

TREE_ROOT = svg(16, f'''
  <path d="M8 4 L3.5 12 M8 4 L12.5 12 M3.5 12 H12.5" stroke="{NAVY}" stroke-width="1.2" fill="none"/>
  <circle cx="8" cy="4" r="2.6" fill="{ORANGE}" stroke="{NAVY}" stroke-width="1"/>
  <circle cx="3.5" cy="12" r="2.4" fill="{SKY}" stroke="{NAVY}" stroke-width="1"/>
  <circle cx="12.5" cy="12" r="2.4" fill="{SKY}" stroke="{NAVY}" stroke-width="1"/>
''')

TREE_NODE = svg(16, f'''
  <rect x="1.5" y="2.5" width="13" height="9" rx="1" fill="{STEEL}" stroke="{NAVY}" stroke-width="1"/>
  <path d="M6 11.5 L5.5 13.5 H10.5 L10 11.5" fill="{SKY}" stroke="{NAVY}" stroke-width="0.8"/>
  <path d="M4 14.5 H12" stroke="{NAVY}" stroke-width="1.2"/>
''')


def arrow_image(colour, letter):
    return svg(16, f'''
  <rect x="0.5" y="0.5" width="15" height="15" rx="3" fill="{colour}"/>
  <text x="8" y="12.2" font-family="DejaVu Sans, Arial, sans-serif" font-size="11" font-weight="bold"
        text-anchor="middle" fill="white">{letter}</text>
''')


TREE_UDP = arrow_image(STEEL, "U")
TREE_TCP = arrow_image(GREEN, "T")

TREE_TDP = svg(16, f'''
  <rect x="0.5" y="0.5" width="15" height="15" rx="3" fill="{ORANGE}"/>
  <path d="M2.5 11 L5 11 L5 6 L8 6 L8 9 L11 9 L11 4 L13.5 4" fill="none" stroke="white"
        stroke-width="1.6" stroke-linejoin="round"/>
''')

TREE_TRACE = svg(16, f'''
  <rect x="0.5" y="0.5" width="15" height="15" rx="3" fill="{PURPLE}"/>
  <path d="M3.5 12 V8 M6 12 V4 M8.5 12 V9.5 M11 12 V6 M13 12 V10" stroke="white" stroke-width="1.4"/>
''')

PICTURES = {
    "host": (32, HOST),
    "switch": (32, SWITCH),
    "join": (32, JOIN),
    "net": (32, NET),
    "tree_root": (16, TREE_ROOT),
    "tree_node": (16, TREE_NODE),
    "tree_udp": (16, TREE_UDP),
    "tree_tcp": (16, TREE_TCP),
    "tree_tdp": (16, TREE_TDP),
    "tree_trace": (16, TREE_TRACE),
}


def main():
    os.makedirs(os.path.join(HERE, "src"), exist_ok=True)
    for name, (size, text) in PICTURES.items():
        source = os.path.join(HERE, "src", name + ".svg")
        with open(source, "w", encoding="utf-8") as f:
            f.write(text)
        target = os.path.join(HERE, name + ".png")
        subprocess.run(["rsvg-convert", "-w", str(size), "-h", str(size), "-o", target, source], check=True)
        print(target)
    return 0


if __name__ == "__main__":
    sys.exit(main())
