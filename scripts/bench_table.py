#!/usr/bin/env python3
"""Reads what the benchmarks printed and makes one table of them.

  bench_table.py <results folder> <benchmark>...

For each benchmark the folder holds <name>.txt (its output) and <name>.rc
(its exit code). Each row is one figure with the floor it was measured
against in the same run, as a Markdown table.
"""

import os
import re
import sys

NUM = r"([0-9]+(?:\.[0-9]+)?)"

# benchmark: [(what, pattern, unit)]; the pattern's first group is the
# figure, the second (if any) its floor.
RULES = {
    "picture_decode_bench": [
        ("JPEG 4000x3000 decode: DecodePicture / libjpeg-turbo", r"jpeg: libjpeg-turbo %s ms, DecodePicture %s ms" % (NUM, NUM), "ms", True),
        ("PNG 4000x3000 decode: DecodePicture / libpng", r"png: +libpng %s ms, DecodePicture %s ms" % (NUM, NUM), "ms", True),
    ],
    "commands_text_bench": [
        ("FindText, 16 MB text / plain byte search", r"^plain \(tail\) +%s.*\n(?:.*\n)*?FindText +%s" % (NUM, NUM), "ms", True),
        ("FindTextReverse, 16 MB / plain byte search", r"^plain \(tail\) +%s.*\n(?:.*\n)*?FindTextReverse +%s" % (NUM, NUM), "ms", True),
        ("ReplaceText, 16 MB / plain search of all", r"^plain \(all\) +%s.*\n(?:.*\n)*?ReplaceText +%s" % (NUM, NUM), "ms", True),
        ("SplitText, 16 MB / plain search of all", r"^plain \(all\) +%s.*\n(?:.*\n)*?SplitText +%s" % (NUM, NUM), "ms", True),
    ],
    "unicode_escapes_bench": [
        ("DecodeUnicodeEscapes, 200 KB reply, 10,000 escapes / plain decode",
         r"DecodeUnicodeEscapes: %s ms per call.*\n.*floor, a plain decode of the same escapes to GBK: %s ms" % (NUM, NUM),
         "ms", False),
    ],
    "web_download_bench": [
        ("WinHttpVisit, 64 MB body / plain WinHttp read loop", r"WinHttpVisit +%s s, floor %s s" % (NUM, NUM), "s", False),
        ("WinInetVisit, 64 MB body / plain WinInet read loop", r"WinInetVisit +%s s, floor %s s" % (NUM, NUM), "s", False),
    ],
    "window_units_bench": [
        ("load and show the application window / bare window", r"load\+show application window: %s ms, bare window: %s ms" % (NUM, NUM), "ms", False),
        ("repaint a 1920x1080 background / bare window", r"repaint 1920x1080 background picture: %s ms, bare window: %s ms" % (NUM, NUM), "ms", False),
    ],
    "songlink_bench": [
        ("program start to window shown / bare Win32 program", r"start to window shown: %s ms; bare Win32 window: %s ms" % (NUM, NUM), "ms", False),
        ("click to audio request / three plain HTTP round trips", r"click to audio request: %s ms; three plain HTTP round trips: %s ms" % (NUM, NUM), "ms", False),
        ("private memory after start", r"private memory: %s MB after start" % NUM, "MB", False),
        ("private memory after 100 lookups", r"MB after start, %s MB after 100 lookups" % NUM, "MB", False),
    ],
}


def rows_of(name, text, rc):
    rules = RULES.get(name)
    if rules is None:
        return [(name, "no table rules: see its output above", "", "")]
    rows = []
    for what, pattern, unit, floor_first in rules:
        m = re.search(pattern, text, re.MULTILINE)
        if not m:
            rows.append((what, "not measured (exit code %s)" % rc, "", ""))
            continue
        numbers = [float(g) for g in m.groups()]
        if floor_first:
            numbers.reverse()
        figure = "%s %s" % (m.group(2 if floor_first else 1), unit)
        if len(numbers) == 1:
            rows.append((what, figure, "none", ""))
            continue
        floor = "%s %s" % (m.group(1 if floor_first else 2), unit)
        ratio = "%.2f" % (numbers[0] / numbers[1]) if numbers[1] else "-"
        rows.append((what, figure, floor, ratio))
    if rc != "0":
        rows.append(("%s ended with exit code %s" % (name, rc), "", "", ""))
    return rows


def main():
    folder, names = sys.argv[1], sys.argv[2:]
    table = [("What", "Figure", "Floor", "Ratio")]
    for name in names:
        def read(ext):
            try:
                with open(os.path.join(folder, name + ext), encoding="utf-8", errors="replace") as f:
                    return f.read().strip()
            except OSError:
                return ""
        table += rows_of(name, read(".txt"), read(".rc") or "?")
    widths = [max(len(row[i]) for row in table) for i in range(4)]
    for i, row in enumerate(table):
        print("| " + " | ".join(cell.ljust(widths[c]) for c, cell in enumerate(row)) + " |")
        if i == 0:
            print("|" + "|".join("-" * (w + 2) for w in widths) + "|")


if __name__ == "__main__":
    main()
