#!/usr/bin/env python3
"""Reads what the benchmarks printed and makes one table of them.

  bench_table.py <results folder> <benchmark>...

For each benchmark the folder holds <name>.txt (its output) and <name>.rc
(its exit code). Only the machine-readable lines count:

  BENCH<TAB>name<TAB>figure<TAB>floor<TAB>unit

one per figure, the floor measured in the same run; everything else a
benchmark prints is for people and may be reworded without touching this
script. Each such line becomes one row, in the order printed, with the ratio
figure / floor and, where the name has one below, its goal. A name this
script does not know still gets its row.
"""

import os
import re
import sys

LINE = re.compile(r"^BENCH\t([a-z0-9_]+)\t(-?[0-9]+(?:\.[0-9]+)?)\t([^\t]*)\t([^\t]*)$")

# name: (what is measured against what, the largest ratio that meets the goal or None)
FIGURES = {
    "jpeg_decode": ("JPEG 4000x3000 decode: DecodePicture / libjpeg-turbo", 1.05),
    "png_decode": ("PNG 4000x3000 decode: DecodePicture / libpng", 1.05),
    "decode_unicode_escapes": ("DecodeUnicodeEscapes, 200 KB reply / the script engine alone on the same literal", 1.2),
    "decode_unicode_escapes_vs_plain": ("DecodeUnicodeEscapes / a plain decode of the escapes", None),
    "find_text": ("FindText, 16 MB text / plain byte search", None),
    "find_text_reverse": ("FindTextReverse, 16 MB / plain byte search", None),
    "replace_text": ("ReplaceText, 16 MB / search + copy into one block", 1.3),
    "split_text": ("SplitText, 16 MB / search + copy of each part into its own block", 1.3),
    "replace_text_vs_search": ("ReplaceText / plain search alone", None),
    "split_text_vs_search": ("SplitText / plain search alone", None),
    "winhttp_visit": ("WinHttpVisit, 64 MB body / plain WinHttp read loop", 1.1),
    "wininet_visit": ("WinInetVisit, 64 MB body / plain WinInet read loop", 1.1),
    "winhttp_visit_peak_memory": ("WinHttpVisit peak private memory / the body", 2.0),
    "wininet_visit_peak_memory": ("WinInetVisit peak private memory / the body", 2.0),
    "window_load": ("load and show the window / the same children made directly", 1.3),
    "window_load_vs_bare": ("load and show the window / bare window", None),
    "window_repaint_1920x1080": ("repaint a 1920x1080 background / bare window blitting it", None),
    "program_start_to_window_shown": ("program start to window shown / bare Win32 program", None),
    "lookup_first_click": ("first click of a process to audio request / three plain HTTP round trips", None),
    "lookup_first_click_at_once": ("first click the instant the window shows / three plain round trips", None),
    "lookup_warm_click": ("a later click to audio request / three plain HTTP round trips", None),
    "lookup_first_vs_warm_click": ("first click / a later click", 2.0),
    "memory_after_start": ("private memory after start", None),
    "memory_after_first_lookup": ("private memory after the first lookup / after start", None),
    "memory_after_1000_lookups": ("private memory after 1,000 lookups / after start", None),
    "memory_after_1000_lookups_vs_first": ("private memory after 1,000 lookups / after the first", None),
    "memory_after_1000_lookups_vs_25": ("private memory after 1,000 lookups / after 25", 1.05),
    "memory_after_1000_distinct_lookups_vs_25": (
        "private memory after 1,000 lookups of distinct addresses / after 25", None),
    "memory_program_share_after_1000_distinct_lookups_vs_25": (
        "the same, the program's share of the growth only / after 25", 1.05),
}


def number(text):
    """The floor, or None where a benchmark gave none ("-", "none", empty)."""
    try:
        return float(text)
    except ValueError:
        return None


def rows_of(name, text, rc):
    rows = []
    for line in text.splitlines():
        m = LINE.match(line.rstrip("\r"))
        if not m:
            continue
        key, figure, floor, unit = m.group(1), m.group(2), m.group(3), m.group(4)
        what, goal = FIGURES.get(key, (key, None))
        fig, flo = number(figure), number(floor)
        ratio = "%.2f" % (fig / flo) if flo else ""
        # A ratio that misses its goal by less than the rounding shows the digit that tells.
        if flo and goal is not None and fig / flo > goal and float(ratio) <= goal:
            ratio = "%.3f" % (fig / flo)
        if goal is None:
            verdict = ""
        elif not ratio:
            verdict = "<= %g" % goal
        else:
            verdict = "<= %g %s" % (goal, "met" if fig / flo <= goal else "MISSED")
        rows.append((key, what, "%s %s" % (figure, unit),
                     "%s %s" % (floor, unit) if flo is not None else "none", ratio, verdict))
    if not rows:
        rows.append((name, "printed no figures (exit code %s)" % rc, "", "", "", ""))
    elif rc != "0":
        rows.append((name, "ended with exit code %s" % rc, "", "", "", ""))
    return rows


def main():
    folder, names = sys.argv[1], sys.argv[2:]
    table = [("Name", "What", "Figure", "Floor", "Ratio", "Goal")]
    for name in names:
        def read(ext):
            try:
                with open(os.path.join(folder, name + ext), encoding="utf-8", errors="replace") as f:
                    return f.read().strip()
            except OSError:
                return ""
        table += rows_of(name, read(".txt"), read(".rc") or "?")
    widths = [max(len(row[i]) for row in table) for i in range(len(table[0]))]
    for i, row in enumerate(table):
        print("| " + " | ".join(cell.ljust(widths[c]) for c, cell in enumerate(row)) + " |")
        if i == 0:
            print("|" + "|".join("-" * (w + 2) for w in widths) + "|")


if __name__ == "__main__":
    main()
