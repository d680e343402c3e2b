#!/usr/bin/env python3
"""Renders the benchmark scenes into a folder: NAME.png and NAME.txt (true lines)."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scenes  # noqa: E402

out = sys.argv[1] if len(sys.argv) > 1 else "."
os.makedirs(out, exist_ok=True)
for name, args, lines, langs in scenes.SCENES:
    scenes.render(args, os.path.join(out, name + ".png"))
    with open(os.path.join(out, name + ".txt"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    print(name, langs)
