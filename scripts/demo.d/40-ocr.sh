#!/usr/bin/env bash
# quorvane-ocr reads a bundled screenshot (English and Chinese, dark and light
# panels, a coloured button) as the application would ask for it, prints the
# text, and draws the line boxes onto a copy of the picture.
set -euo pipefail
cd "$(dirname "$0")/../.."
shot=ocr/sample/screenshot.png
out=${QUORVANE_DEMO_OUT:-/tmp}
# The build's models, as the installed program finds its own.
export QUORVANE_OCR_MODELS=${QUORVANE_OCR_MODELS:-$QUORVANE_BIN/../ocr-models}

echo "\$ quorvane-ocr eng,chi_sim layout < $shot"
started=$(date +%s.%N)
answer=$("$QUORVANE_BIN/quorvane-ocr" eng,chi_sim layout < "$shot")
finished=$(date +%s.%N)
echo "$answer" | head -n 1
echo "(the result Message, decoded:)"
python3 - "$answer" "$shot" "$out/ocr-layout.png" "$started" "$finished" <<'PY'
import json, subprocess, sys
answer, shot, picture, started, finished = sys.argv[1:]
result = json.loads(answer.splitlines()[-1])
print(f"type {result['type']}, confidence {result['confidence']:.1f}, "
      f"{len(result['lines'])} lines, {float(finished) - float(started):.2f} s")
print("text:")
for line in result["text"].splitlines():
    print("  " + line)
draw = []
for box in result["lines"]:
    x, y, w, h = box["x"], box["y"], box["width"], box["height"]
    draw += ["-draw", f"rectangle {x:.0f},{y:.0f} {x + w:.0f},{y + h:.0f}"]
subprocess.run(["convert", shot, "-fill", "none", "-stroke", "#e11d48", "-strokewidth", "2", *draw, picture],
               check=True)
print(f"line boxes drawn on {picture}")
PY
