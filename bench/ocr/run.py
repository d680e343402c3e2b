#!/usr/bin/env python3
"""quorvane-ocr against the tesseract command-line program, side by side.

Usage: bench/ocr/run.py BIN_DIR [REPEATS [SCENE,...]]
       OCR_BENCH_BEFORE=OTHER_BIN_DIR bench/ocr/run.py BIN_DIR ...  (adds another build's columns,
       measured side by side)

For each rendered scene, both read the same image with the same languages in
the same order; the engine runs at one thread with its default settings.
Prints CPU and wall time (best of REPEATS, default 1) and character error rate per
scene and in total, and the lines the engine reads at confidence 80 or more
that come out under 50 from us; then the peak memory of quorvane-ocr on a
1000x40000 scrolling capture and on a refused decompression bomb.

Character error rate: the output's lines are matched to the true lines
(closest pairs first, each line used once), so that a different but sensible
reading order costs nothing, while merged columns, split words and misread
characters all do. Errors = edit distances of the pairs + the characters of
unmatched lines on either side; rate = errors / true characters. Runs of
white space count as one blank.
"""
import json
import os
import re
import struct
import subprocess
import sys
import tempfile
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scenes  # noqa: E402


def run(argv, stdin_path):
    """Returns (stdout, wall seconds, cpu seconds, peak RSS in KiB)."""
    with open(stdin_path, "rb") as stdin:
        start = time.perf_counter()
        proc = subprocess.Popen(argv, stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        out = proc.stdout.read()
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    return out.decode("utf-8", "replace"), wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def distance(a, b):
    previous = list(range(len(b) + 1))
    for i, ca in enumerate(a, 1):
        current = [i]
        for j, cb in enumerate(b, 1):
            current.append(min(previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (ca != cb)))
        previous = current
    return previous[-1]


def normalise(text):
    return [re.sub(r"\s+", " ", line).strip() for line in text.splitlines() if line.strip()]


def error_rate(output, truth):
    hyp, ref = normalise(output), normalise(truth)
    pairs = sorted((distance(h, r), i, j) for i, h in enumerate(hyp) for j, r in enumerate(ref))
    used_h, used_r, errors = set(), set(), 0
    for d, i, j in pairs:
        # A pair only counts as a match when it is closer than dropping both lines.
        if i in used_h or j in used_r or d >= len(hyp[i]) + len(ref[j]):
            continue
        used_h.add(i)
        used_r.add(j)
        errors += d
    errors += sum(len(h) for i, h in enumerate(hyp) if i not in used_h)
    errors += sum(len(r) for j, r in enumerate(ref) if j not in used_r)
    return errors / sum(len(r) for r in ref)


def bomb_png(path, side=100000):
    """A valid PNG header claiming side x side pixels, with a tiny body."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    body = zlib.compress(b"\0" * 100000, 9)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 0, 0, 0, 0))
                + chunk(b"IDAT", body) + chunk(b"IEND", b""))


def engine_lines(tsv):
    """(box, confidence) of each text line of the engine's TSV: the mean of its words."""
    lines = {}
    for row in tsv.splitlines()[1:]:
        cols = row.split("\t")
        if len(cols) < 12 or cols[0] != "5" or not cols[11].strip():
            continue
        key = tuple(cols[1:5])
        x, y, w, h, conf = int(cols[6]), int(cols[7]), int(cols[8]), int(cols[9]), float(cols[10])
        box, confs = lines.get(key, ((x, y, x + w, y + h), []))
        box = (min(box[0], x), min(box[1], y), max(box[2], x + w), max(box[3], y + h))
        lines[key] = (box, confs + [conf])
    return [(box, sum(c) / len(c)) for box, c in lines.values()]


def confidence_drops(ours, engine):
    """Lines the engine reads at 80 or more that we report under 50 (or not at all)."""
    drops = 0
    for (x0, y0, x1, y1), conf in engine:
        if conf < 80:
            continue
        # Our lines on the same row that overlap it (the engine may join columns).
        best = max((l["confidence"] for l in ours
                    if min(x1, l["x"] + l["width"]) > max(x0, l["x"])
                    and min(y1, l["y"] + l["height"]) - max(y0, l["y"]) > 0.5 * min(y1 - y0, l["height"])),
                   default=0)
        drops += best < 50
    return drops


def tall_capture(path, width=1000, height=40000):
    """A scrolling capture: one rendered page of text, repeated down to the height
    (ImageMagick refuses pictures that tall, so the PNG is written here)."""
    tile = 2000
    args = ["-size", f"{width}x{tile}", "xc:white", "-font", scenes.LATIN, "-pointsize", "14", "-fill", "#222"]
    for i in range(tile // 40):
        args += ["-annotate", f"+20+{30 + 40 * i}", f"Row {i}: scrolling captures keep every line readable"]
    grey = subprocess.run(["convert", *args, "-depth", "8", "gray:-"], check=True, capture_output=True).stdout
    rows = [b"\0" + grey[y * width:(y + 1) * width] for y in range(tile)]
    packer = zlib.compressobj(6)
    body = b"".join(packer.compress(b"".join(rows)) for _ in range(height // tile)) + packer.flush()

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0))
                + chunk(b"IDAT", body) + chunk(b"IEND", b""))


def main():
    bin_dir = sys.argv[1]
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    only = sys.argv[3].split(",") if len(sys.argv) > 3 else None
    ocr = os.path.join(bin_dir, "quorvane-ocr")
    # The build's rewritten models, for a build that is not installed.
    os.environ.setdefault("QUORVANE_OCR_MODELS", os.path.join(bin_dir, "..", "ocr-models"))
    os.environ["OMP_THREAD_LIMIT"] = "1"  # the engine at one thread
    work = tempfile.mkdtemp(prefix="ocr-bench-")
    before = os.environ.get("OCR_BENCH_BEFORE")
    print(f"{'scene':18} {'languages':12} {'ours cpu':>8} {'wall':>5} {'CER':>6}  {'engine cpu':>10} {'wall':>5} {'CER':>6}"
          f"  {'drops':>5}" + (f"  {'before cpu':>10} {'wall':>5} {'CER':>6} {'drops':>5}" if before else ""))
    peak = 0
    totals = {"ours": [0.0, 0, 0], "engine": [0.0, 0, 0], "before": [0.0, 0, 0]}  # cpu, errors, true characters
    before_drops = 0
    drops_total = 0
    worst_margin = -1.0
    for name, args, lines, langs in scenes.SCENES:
        if only and name not in only:
            continue
        image = os.path.join(work, name + ".png")
        scenes.render(args, image)
        truth = "\n".join(lines)
        chars = sum(len(r) for r in normalise(truth))
        engine = ["tesseract", "stdin", "stdout", "-l", langs.replace(",", "+")]
        row = {}
        programs = [("ours", [ocr, langs, "layout"]), ("engine", engine + ["tsv"])]
        if before:
            programs.append(("before", [os.path.join(before, "quorvane-ocr"), langs, "layout"]))
        for who, argv in programs:
            best_cpu = best_wall = float("inf")
            for _ in range(repeats):
                out, wall, cpu, rss = run(argv, image)
                best_cpu = min(best_cpu, cpu)
                best_wall = min(best_wall, wall)
                if who == "ours":
                    peak = max(peak, rss)
            if who != "engine":
                result = json.loads(out.splitlines()[-1])
                text, boxes = result["text"], result["lines"]
            else:
                boxes = engine_lines(out)
                text, _, _, _ = run(engine, image)
            cer = error_rate(text, truth)
            row[who] = (best_cpu, cer, boxes, best_wall)
            totals[who][0] += best_cpu
            totals[who][1] += cer * chars
            totals[who][2] += chars
        o, e = row["ours"], row["engine"]
        drops = confidence_drops(o[2], e[2])
        drops_total += drops
        worst_margin = max(worst_margin, o[1] - e[1])
        extra = ""
        if before:
            b = row["before"]
            b_drops = confidence_drops(b[2], e[2])
            before_drops += b_drops
            extra = f"  {b[0]:10.2f} {b[3]:5.2f} {b[1]:6.1%} {b_drops:5}"
        print(f"{name:18} {langs:12} {o[0]:8.2f} {o[3]:5.2f} {o[1]:6.1%}  {e[0]:10.2f} {e[3]:5.2f} {e[1]:6.1%}  {drops:5}{extra}",
              flush=True)
    o, e = totals["ours"], totals["engine"]
    print(f"{'total':31} {o[0]:8.2f} {'':5} {o[1]/o[2]:6.1%}  {e[0]:10.2f} {'':5} {e[1]/e[2]:6.1%}  {drops_total:5}")
    print(f"peak memory over the scenes: {peak / 1024:.1f} MiB (target < 400)")
    if before:
        b = totals["before"]
        print(f"{'total before':31} {b[0]:8.2f} {'':5} {b[1]/b[2]:6.1%}  {'':23} {before_drops:5}")
        print(f"before: cpu ratio {b[0]/e[0]:.2f}x, CER ratio {b[1]/e[1]:.2f}")
    print(f"cpu ratio ours/engine: {o[0]/e[0]:.2f}x (target <= 1.0x)")
    print(f"total CER ratio ours/engine: {o[1]/e[1]:.2f} (target <= 0.5)" if e[1] else "engine CER 0")
    print(f"worst per-scene CER above the engine: {worst_margin:+.1%} (target <= +0.5 points)")
    print(f"lines read at >= 80 by the engine and under 50 by us: {drops_total} (target 0)")

    tall = os.path.join(work, "tall.png")
    tall_capture(tall)
    out, wall, cpu, rss = run([ocr, "eng"], tall)
    text = json.loads(out.splitlines()[-1]).get("text", "")
    print(f"peak memory, 1000x40000 capture (eng): {rss / 1024:.1f} MiB (target < 200), "
          f"{cpu:.1f} s cpu, {len(text.splitlines())} lines")
    bomb = os.path.join(work, "bomb.png")
    bomb_png(bomb)
    out, wall, _, rss = run([ocr, "eng"], bomb)
    print(f"peak memory, 100000x100000 PNG bomb ({os.path.getsize(bomb)} bytes): {rss / 1024:.1f} MiB, "
          f"{wall * 1000:.0f} ms, answer {out.strip()}")


if __name__ == "__main__":
    main()
