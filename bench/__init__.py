"""Benchmark suite of zel.zel_util: time per call, instructions per call,
and the ratios to a do-nothing builtin and to a plain ctypes implementation.

    make bench              # the full run: table, bench/results.json
    make bench QUICK=1      # a fast smoke run
    make bench CHECK=1      # exit non-zero when a target is missed
"""
