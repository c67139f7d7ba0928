#!/usr/bin/env python3
"""What the device allows for the swap's copy, against the swap's floor.

The copy must read the upgrade file, write the copy durably, read the copy back from the device
and read the upgrade file once more. This does only those transfers, one after the other, with
dd and O_DIRECT in 4 MiB blocks, and the floor (cp, sync, cmp) in turns with it (ABBA), the
source's pages dropped before each run of either, and prints the medians, the per-pair ratio
with its interquartile range, and the system CPU of each side.

    bench/device_least.py FOLDER [PAIRS]     (FOLDER on the disk to measure; 1 GiB is made there)
"""
import os
import statistics
import subprocess
import sys
import time


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    pairs = int(sys.argv[2]) if len(sys.argv) > 2 else 12
    src, dst = os.path.join(folder, "src"), os.path.join(folder, "dst")
    if not os.path.exists(src) or os.path.getsize(src) != 1 << 30:
        subprocess.run(f"head -c {1 << 30} /dev/urandom > '{src}' && sync '{src}'", shell=True, check=True)

    def drop(path):
        fd = os.open(path, os.O_RDONLY)
        os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        os.close(fd)

    def run(commands):
        if os.path.exists(dst):
            os.unlink(dst)
        drop(src)
        started, before, parts = time.monotonic(), os.times(), []
        for command in commands:
            at = time.monotonic()
            subprocess.run(command, shell=True, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            parts.append(time.monotonic() - at)
        return time.monotonic() - started, os.times().children_system - before.children_system, parts

    floor = [f"cp '{src}' '{dst}'", f"sync '{dst}'", f"cmp '{src}' '{dst}'"]
    least = [f"dd if='{src}' of='{dst}' bs=4M iflag=direct oflag=direct conv=fdatasync",
             f"dd if='{dst}' of=/dev/null bs=4M iflag=direct", f"dd if='{src}' of=/dev/null bs=4M iflag=direct"]
    run(floor), run(least)  # warm-up
    runs = {0: [], 1: []}
    for i in range(pairs):
        order = [(0, least), (1, floor)] if i % 2 == 0 else [(1, floor), (0, least)]
        for side, commands in order:
            runs[side].append(run(commands))
    os.unlink(dst)

    def spread(values):
        q = statistics.quantiles(sorted(values), n=4)
        return f"{statistics.median(values):.0f} ({q[0]:.0f}-{q[2]:.0f})"

    ratios = sorted(a[0] / b[0] for a, b in zip(runs[0], runs[1]))
    q = statistics.quantiles(ratios, n=4)
    print(f"{pairs} pairs, load {os.getloadavg()[0]:.1f}: device's least {spread([r[0] * 1000 for r in runs[0]])} ms, "
          f"floor {spread([r[0] * 1000 for r in runs[1]])} ms, ratio {statistics.median(ratios):.2f} "
          f"({q[0]:.2f}-{q[2]:.2f}); system CPU {statistics.median(r[1] for r in runs[0]) * 1000:.0f} ms / "
          f"{statistics.median(r[1] for r in runs[1]) * 1000:.0f} ms")
    print("The least's parts, medians: copy and fdatasync %.0f ms, copy read back %.0f ms, source read again %.0f ms"
          % tuple(statistics.median(r[2][i] for r in runs[0]) * 1000 for i in range(3)))


if __name__ == "__main__":
    main()
