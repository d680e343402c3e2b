#!/usr/bin/env python3
"""Soak run of the two long-running helpers on the current (private) display.

The screen streamer runs at 60 fps on a screen whose content changes all the
time and is asked for a frame every 33 ms; the input monitor samples a window
that keeps moving. Once a minute it prints each helper's resident memory, open
descriptors and threads; at the end one line: records and samples received
against due, growth after the first minute, and whether everything stayed flat.
Run through scripts/soak.sh, which gives it a private display.
"""
import os, select, subprocess, sys, threading, time

BIN = sys.argv[1]
MINUTES = float(sys.argv[2])
FRAME_EVERY = 0.033
SAMPLE_RATE = 30.0
FLAT_BYTES = 1 << 20


class FakeApp:
    """A quorvane-fake-app driven over its control and report pipes."""

    def __init__(self, stdin=None, stdout=None):
        ctl_r, self.ctl = os.pipe()
        self.rep, rep_w = os.pipe()
        self.proc = subprocess.Popen([f"{BIN}/quorvane-fake-app", "--control-fd", str(ctl_r), "--report-fd", str(rep_w)],
                                     pass_fds=(ctl_r, rep_w), stdin=stdin, stdout=stdout)
        os.close(ctl_r)
        os.close(rep_w)
        self.buffer = b""

    def ask(self, line):
        os.write(self.ctl, (line + "\n").encode())
        deadline = time.monotonic() + 10
        while b"\n" not in self.buffer:
            ready, _, _ = select.select([self.rep], [], [], max(0, deadline - time.monotonic()))
            if not ready:
                raise RuntimeError(f"fake application did not answer {line!r}")
            chunk = os.read(self.rep, 4096)
            if not chunk:
                raise RuntimeError("fake application ended")
            self.buffer += chunk
        reply, self.buffer = self.buffer.split(b"\n", 1)
        return reply.decode()

    def window(self, spec):
        reply = self.ask("window " + spec)
        assert reply.startswith("window "), reply
        return int(reply.split()[1])


def usage(pid):
    status = open(f"/proc/{pid}/status").read().split("\n")
    fields = dict(line.split(":", 1) for line in status if ":" in line)
    rss = int(fields["VmRSS"].split()[0]) * 1024
    threads = int(fields["Threads"])
    fds = len(os.listdir(f"/proc/{pid}/fd"))
    return rss, fds, threads


def child_of(pid):
    for _ in range(200):
        kids = open(f"/proc/{pid}/task/{pid}/children").read().split()
        if kids:
            return int(kids[0])
        time.sleep(0.05)
    raise RuntimeError("helper did not start")


def main():
    display_id = subprocess.run([f"{BIN}/quorvane-x-info"], capture_output=True, text=True, check=True).stdout
    display_id = next(line.split()[0] for line in display_id.splitlines() if line.split())

    # Something on screen that never stops changing, and a window to follow.
    other = FakeApp()
    mover = other.window("color=40a060 x=100 y=100 w=300 h=200 title=|moving")
    followed = other.window("color=3060c0 x=500 y=300 w=320 h=240 title=|followed")

    streamer_in_r, streamer_in = os.pipe()
    streamer_out, streamer_out_w = os.pipe()
    app = FakeApp(stdin=streamer_in_r, stdout=streamer_out_w)
    os.close(streamer_in_r)
    os.close(streamer_out_w)
    app.window("color=ff0000 x=900 y=500 w=200 h=120 title=|application")
    app.ask(f"run\x1f{BIN}/quorvane-recording-screen\x1f{display_id}\x1f60")
    streamer = child_of(app.proc.pid)

    monitor_out, monitor_out_w = os.pipe()
    watcher = FakeApp(stdout=monitor_out_w)
    os.close(monitor_out_w)
    watcher.ask(f"run\x1f{BIN}/quorvane-input\x1fwindow\x1f{followed}")
    monitor = child_of(watcher.proc.pid)

    counts = {"records": 0, "samples": 0, "requests": 0}
    stop = threading.Event()

    def read_records():
        buffer = b""
        while True:
            chunk = os.read(streamer_out, 1 << 20)
            if not chunk:
                return
            buffer += chunk
            while len(buffer) >= 4:
                n = int.from_bytes(buffer[:4], "big")
                if len(buffer) < 4 + n:
                    break
                buffer = buffer[4 + n:]
                counts["records"] += 1

    def read_samples():
        with os.fdopen(monitor_out, "rb") as lines:
            for line in lines:
                if b'"pointer"' in line:
                    counts["samples"] += 1

    def drive():
        step = 0
        while not stop.is_set():
            step += 1
            other.ask(f"move {mover} {100 + step % 400} 100")
            if step % 4 == 0:
                other.ask(f"move {followed} {500 + step % 200} 300")
            os.write(streamer_in, b"frame\n")
            counts["requests"] += 1
            time.sleep(FRAME_EVERY)

    threads = [threading.Thread(target=f, daemon=True) for f in (read_records, read_samples, drive)]
    for t in threads:
        t.start()

    start = time.monotonic()
    helpers = {"recording-screen": streamer, "input monitor": monitor}
    first = None
    minutes = max(1, round(MINUTES))
    for minute in range(1, minutes + 1):
        time.sleep(max(0, start + minute * 60 * MINUTES / minutes - time.monotonic()))
        now = {name: usage(pid) for name, pid in helpers.items()}
        if first is None:
            first = now
        print(f"minute {minute}: " + "; ".join(
            f"{name} rss {rss / 1e6:.1f} MB, fds {fds}, threads {threads}" for name, (rss, fds, threads) in now.items()),
            flush=True)
    elapsed = time.monotonic() - start
    last = now
    stop.set()
    os.write(streamer_in, b"stop\n")
    app.ask("wait")
    for fake in (watcher, app, other):
        fake.proc.kill()

    growth = {name: tuple(l - f for l, f in zip(last[name], first[name])) for name in helpers}
    flat = all(g[0] < FLAT_BYTES and g[1] <= 0 and g[2] <= 0 for g in growth.values())
    due_samples = int(elapsed * SAMPLE_RATE)
    print(f"records {counts['records']} of {counts['requests']} requested, samples {counts['samples']} of {due_samples} due; "
          + "; ".join(f"{name} grew {g[0] / 1e6:.2f} MB, {g[1]} fds, {g[2]} threads after the first minute"
                      for name, g in growth.items())
          + f"; flat: {'yes' if flat else 'no'}", flush=True)
    return 0 if flat else 1


if __name__ == "__main__":
    sys.exit(main())
