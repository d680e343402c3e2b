#!/usr/bin/env python3
"""quorvane-ocr against the tesseract command-line program, side by side.

Usage: bench/ocr/run.py BIN_DIR [REPEATS]

For each rendered scene, both read the same image with the same languages;
the engine runs at one thread with its default settings. Prints time (wall
and CPU, best of REPEATS) and character error rate, then the ratios, then the
peak memory of quorvane-ocr on a 1080p screenshot and on a refused
decompression bomb.

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


def main():
    bin_dir = sys.argv[1]
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    ocr = os.path.join(bin_dir, "quorvane-ocr")
    os.environ["OMP_THREAD_LIMIT"] = "1"  # the engine at one thread
    work = tempfile.mkdtemp(prefix="ocr-bench-")
    print(f"{'image':16} {'ours s':>7} {'cpu':>6} {'CER':>6}   {'engine s':>8} {'cpu':>6} {'CER':>6}")
    totals = {"ours": [0, 0, 0], "engine": [0, 0, 0]}
    for name, args, lines, langs in scenes.SCENES:
        image = os.path.join(work, name + ".png")
        scenes.render(args, image)
        truth = "\n".join(lines)
        engine = ["tesseract", "stdin", "stdout", "-l", langs.replace(",", "+")]
        row = {}
        for who, argv in (("ours", [ocr, langs]), ("engine", engine)):
            best_wall = best_cpu = float("inf")
            for _ in range(repeats):
                out, wall, cpu, _ = run(argv, image)
                best_wall, best_cpu = min(best_wall, wall), min(best_cpu, cpu)
            text = json.loads(out.splitlines()[-1])["text"] if who == "ours" else out
            cer = error_rate(text, truth)
            row[who] = (best_wall, best_cpu, cer)
            for k, v in enumerate(row[who]):
                totals[who][k] += v
        o, e = row["ours"], row["engine"]
        print(f"{name:16} {o[0]:7.3f} {o[1]:6.3f} {o[2]:6.1%}   {e[0]:8.3f} {e[1]:6.3f} {e[2]:6.1%}")
    n = len(scenes.SCENES)
    o, e = totals["ours"], totals["engine"]
    print(f"{'total / mean':16} {o[0]:7.3f} {o[1]:6.3f} {o[2]/n:6.1%}   {e[0]:8.3f} {e[1]:6.3f} {e[2]/n:6.1%}")
    print(f"time ratio ours/engine: wall {o[0]/e[0]:.2f}x, cpu {o[1]/e[1]:.2f}x (target <= 1.0x)")
    print(f"mean CER ratio ours/engine: {(o[2]/n)/(e[2]/n):.2f} (target <= 0.5)" if e[2] else "engine CER 0")

    hd = os.path.join(work, "1080p.png")
    name, args, _, _ = scenes.scene("1080p", scale=1.745)
    scenes.render(args + ["-background", "white", "-extent", "1920x1080"], hd)
    _, wall, _, rss = run([ocr, "eng"], hd)
    print(f"peak memory, 1080p screenshot (eng): {rss / 1024:.1f} MiB ({wall:.2f} s)")
    _, wall, _, rss = run([ocr, "eng,chi_sim"], hd)
    print(f"peak memory, 1080p screenshot (eng,chi_sim): {rss / 1024:.1f} MiB ({wall:.2f} s)")
    bomb = os.path.join(work, "bomb.png")
    bomb_png(bomb)
    out, wall, _, rss = run([ocr, "eng"], bomb)
    print(f"peak memory, 100000x100000 PNG bomb ({os.path.getsize(bomb)} bytes): {rss / 1024:.1f} MiB, "
          f"{wall * 1000:.0f} ms, answer {out.strip()}")


if __name__ == "__main__":
    main()
