"""The show's benchmark: start-up time, drawing cost per tick, memory and CPU share."""
import os
import select
import statistics
import subprocess
import sys
import time
from pathlib import Path

from harness import BIN, DATA, run_show, show_env, window

TARGETS = {"first": 150.0, "tick": 1.5, "growth": 256, "cpu": 2.0}


def first_line_ms():
    """Milliseconds from starting the process to reading its first scroller line. A start that
    fails, or writes anything else first (a mixer's message), ends the benchmark as a failure."""
    start = time.perf_counter()
    proc = subprocess.Popen([BIN], cwd=DATA, env=show_env(), stdout=subprocess.PIPE)
    ready, _, _ = select.select([proc.stdout], [], [], 10)
    line = proc.stdout.readline().decode("latin-1") if ready else ""
    elapsed = (time.perf_counter() - start) * 1000
    proc.terminate()
    status = proc.wait()
    proc.stdout.close()
    if line != window(0) + "\n":
        sys.exit(f"bench: the show did not start as it should (status {status}); "
                 f"its first line was {line!r}")
    return elapsed


def interposed_run(ticks, **extra):
    """Runs `ticks` ticks without waits; returns the log lines of the interposer."""
    run = run_show(DATA, quit_after=ticks, deadline=120, **extra)
    if run.status != 0:
        sys.exit(f"bench: the show ended with status {run.status}: {run.stderr}")
    return [line.split() for line in run.log]


def tick_costs_ms(log):
    """Medians of a tick without its wait, of its flip, and of the rest: the show's drawing,
    its line and its input. The flip is where the SDL layer presents (and scales) the frame."""
    stamps = [int(entry[2]) for entry in log if entry[0] == "delay"]
    flips = [int(entry[2]) for entry in log if entry[0] == "flip"]
    ticks = [b - a for a, b in zip(stamps, stamps[1:])]
    own = [t - f for t, f in zip(ticks, flips[1:])]
    return tuple(statistics.median(x) / 1e6 for x in (ticks, flips, own))


def cpu_share(seconds):
    """Share of one core used by a real-time show with music mixed, over `seconds`."""
    proc = subprocess.Popen([BIN], cwd=DATA, stdout=subprocess.DEVNULL,
                            env=show_env(SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE="/dev/null"))
    time.sleep(2)  # past start-up

    def cpu_ticks():
        fields = Path(f"/proc/{proc.pid}/stat").read_text().rsplit(")", 1)[1].split()
        return int(fields[11]) + int(fields[12])

    before, start = cpu_ticks(), time.monotonic()
    time.sleep(seconds)
    used = (cpu_ticks() - before) / os.sysconf("SC_CLK_TCK")
    share = 100 * used / (time.monotonic() - start)
    proc.terminate()
    proc.wait()
    return share


def main():
    first = statistics.median(first_line_ms() for _ in range(5))
    tick, flip, own = tick_costs_ms(interposed_run(2001))
    tick_nearest, _, _ = tick_costs_ms(interposed_run(2001, SDL12COMPAT_SCALE_METHOD="nearest"))
    log = interposed_run(10000)
    peak = {int(e[1]): int(e[3]) for e in log if e[0] == "rss"}
    growth = peak[10000] - peak[1000]
    cpu = cpu_share(30)

    rows = [
        ("start to first scroller line (median of 5)", f"{first:.1f} ms", "< 150 ms",
         first < TARGETS["first"]),
        ("one tick without its wait (median of 2000)", f"{tick:.3f} ms", "< 1.5 ms",
         tick < TARGETS["tick"]),
        ("  of it the show's drawing, line and input", f"{own:.3f} ms", "< 1.5 ms",
         own < TARGETS["tick"]),
        ("  of it SDL_Flip (the SDL layer scales to the desktop)", f"{flip:.3f} ms", "", None),
        ("one tick, the SDL layer scaling with 'nearest'", f"{tick_nearest:.3f} ms", "< 1.5 ms",
         tick_nearest < TARGETS["tick"]),
        ("peak memory after 1000 ticks", f"{peak[1000]} KiB", "", None),
        ("peak memory after 10000 ticks", f"{peak[10000]} KiB", "", None),
        ("memory growth 1000 -> 10000 ticks", f"{growth} KiB", "< 256 KiB",
         growth < TARGETS["growth"]),
        ("CPU share of one core, 30 s real time with music", f"{cpu:.2f} %", "< 2 %",
         cpu < TARGETS["cpu"]),
    ]
    print(f"{'measure':<56} {'value':>12}  {'target':<10} ok")
    print("-" * 84)
    for name, value, target, ok in rows:
        verdict = "" if ok is None else "yes" if ok else "NO"
        print(f"{name:<56} {value:>12}  {target:<10} {verdict}")
    print(f"\n{os.cpu_count()} cores; dummy video driver (a 1024 x 768 desktop, so every flip "
          "scales); first line and CPU share in real time, the CPU share with the music mixed "
          "by the disk audio driver into /dev/null.")


if __name__ == "__main__":
    main()
