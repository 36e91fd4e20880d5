#!/usr/bin/env python3
"""Times Pillow's Image.resize on the sizes of core_bench, one thread, noise pictures.

Prints one JSON object per line: filter, source and destination size, and the median of the
wall-clock and of the thread CPU time in milliseconds (the CPU time is the fairer figure on a
machine that other work shares).
"""
import json
import os
import statistics
import sys
import time

from PIL import Image

SIZES = [((4000, 3000), (1000, 750)), ((1000, 750), (4000, 3000)), ((4000, 3000), (3600, 2700))]
FILTERS = [("Lanczos3", Image.LANCZOS), ("Triangle", Image.BILINEAR)]


def main():
    repeats = int(sys.argv[1]) if len(sys.argv) > 1 else 7
    pictures = {}
    for name, method in FILTERS:
        for source, dest in SIZES:
            if source not in pictures:
                pictures[source] = Image.frombytes("RGB", source, os.urandom(source[0] * source[1] * 3))
            picture = pictures[source]
            picture.resize(dest, method)  # warm-up
            wall, cpu = [], []
            for _ in range(repeats):
                start, start_cpu = time.perf_counter(), time.thread_time()
                picture.resize(dest, method)
                cpu.append((time.thread_time() - start_cpu) * 1000.0)
                wall.append((time.perf_counter() - start) * 1000.0)
            print(json.dumps({"filter": name, "source": list(source), "dest": list(dest),
                              "ms": statistics.median(wall), "cpu_ms": statistics.median(cpu)}), flush=True)


if __name__ == "__main__":
    main()
