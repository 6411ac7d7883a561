#!/usr/bin/env python3
"""Runs a command and prints "seconds peak_kb bytes_written" for it.

bytes_written is what the process handed to write calls (its wchar), read
while it is a zombie, so every write up to its exit is counted.

usage: measure.py STDOUT_FILE COMMAND [ARG...]
"""
import os
import sys
import time


def main():
    out_path, command = sys.argv[1], sys.argv[2:]
    start = time.monotonic()
    pid = os.fork()
    if pid == 0:
        fd = os.open(out_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        os.dup2(fd, 1)
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, 2)
        os.execvp(command[0], command)
    os.waitid(os.P_PID, pid, os.WEXITED | os.WNOWAIT)
    written = 0
    with open(f"/proc/{pid}/io") as io:
        for line in io:
            key, value = line.split(":")
            if key == "wchar":
                written = int(value)
    _, status, usage = os.wait4(pid, 0)
    seconds = time.monotonic() - start
    code = os.waitstatus_to_exitcode(status)
    if code not in (0, 1):
        sys.stderr.write(f"measure: {command[0]} ended with {code}\n")
        sys.exit(1)
    print(f"{seconds:.2f} {usage.ru_maxrss} {written}")


main()
