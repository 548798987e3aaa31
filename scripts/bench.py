"""The show's benchmark: start-up time, drawing cost per tick, memory and CPU share."""
import os
import select
import statistics
import subprocess
import sys
import time
from pathlib import Path

from harness import BIN, DATA, run_show, show_env, window

# What each measure must stay under, in the unit the table shows it in.
FIRST_LINE_MS, TICK_MS, GROWTH_KIB, CPU_PERCENT = 150, 1.5, 256, 2


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


def row(name, value, unit, digits=0, limit=None):
    """A row of the table: the measure, its value in `unit` with `digits` decimals and, where it
    has one, the limit it must stay under and whether it does."""
    shown = f"{value:.{digits}f} {unit}"
    if limit is None:
        return name, shown, "", ""
    return name, shown, f"< {limit:g} {unit}", "yes" if value < limit else "NO"


def main():
    first = statistics.median(first_line_ms() for _ in range(5))
    tick, flip, own = tick_costs_ms(interposed_run(2001))
    tick_nearest, _, _ = tick_costs_ms(interposed_run(2001, SDL12COMPAT_SCALE_METHOD="nearest"))
    log = interposed_run(10000)
    peak = {int(e[1]): int(e[3]) for e in log if e[0] == "rss"}
    growth = peak[10000] - peak[1000]
    cpu = cpu_share(30)

    rows = [
        row("start to first scroller line (median of 5)", first, "ms", 1, FIRST_LINE_MS),
        row("one tick without its wait (median of 2000)", tick, "ms", 3, TICK_MS),
        row("  of it the show's drawing, line and input", own, "ms", 3, TICK_MS),
        row("  of it SDL_Flip (the SDL layer scales to the desktop)", flip, "ms", 3),
        row("one tick, the SDL layer scaling with 'nearest'", tick_nearest, "ms", 3, TICK_MS),
        row("peak memory after 1000 ticks", peak[1000], "KiB"),
        row("peak memory after 10000 ticks", peak[10000], "KiB"),
        row("memory growth 1000 -> 10000 ticks", growth, "KiB", limit=GROWTH_KIB),
        row("CPU share of one core, 30 s real time with music", cpu, "%", 2, CPU_PERCENT),
    ]
    print(f"{'measure':<56} {'value':>12}  {'target':<10} ok")
    print("-" * 84)
    for name, value, target, verdict in rows:
        print(f"{name:<56} {value:>12}  {target:<10} {verdict}")
    print(f"\n{os.cpu_count()} cores; dummy video driver (a 1024 x 768 desktop, so every flip "
          "scales); first line and CPU share in real time, the CPU share with the music mixed "
          "by the disk audio driver into /dev/null.")


if __name__ == "__main__":
    main()
