#!/usr/bin/env python3
"""Runs one command and prints "wall-ms cpu-ms peak-rss-kB" for it.

    measure.py OUTPUT-FILE COMMAND [ARG...]

The command's standard output goes to OUTPUT-FILE. CPU time is user + system time of that one
process, in microseconds as the kernel reports it through wait4 (GNU time rounds to 10 ms); on a
machine whose cores are shared, it is steadier than the wall time, which also counts the time
the process waited for a core.
"""
import os
import sys
import time


def main() -> int:
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    output, command = sys.argv[1], sys.argv[2:]
    with open(output, "wb") as out:
        start = time.perf_counter()
        pid = os.fork()
        if pid == 0:
            os.dup2(out.fileno(), 1)
            try:
                os.execvp(command[0], command)
            finally:
                os._exit(127)
        _, status, usage = os.wait4(pid, 0)
        wall = time.perf_counter() - start
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 0:
        print(f"failed ({status}): {' '.join(command)}", file=sys.stderr)
        return 1
    cpu = usage.ru_utime + usage.ru_stime
    print(f"{wall * 1000:.1f} {cpu * 1000:.1f} {usage.ru_maxrss}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
