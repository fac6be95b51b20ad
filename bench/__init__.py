"""Benchmark suite of zel.zel_util: time per call, instructions per call,
and the ratios to a do-nothing builtin, to the interpreter's own creation of
an equal result (the result floor) and to a plain ctypes implementation.

    make bench              # the full run: table, bench/results.json, bench/README.md
    make bench QUICK=1      # a fast smoke run
    make bench CHECK=1      # exit non-zero when a target is missed
"""
