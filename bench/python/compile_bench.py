#!/usr/bin/env python3
"""Times dorirezoza.compile from Python on generated scripts and templates.

    python3 bench/python/compile_bench.py [--sizes 1000000 10000000] [--repeat 5]

Reports throughput in MB/s for each size and mode, the time of one call on a
tiny script, and the peak extra memory of one call relative to the text's size,
on the `grammar` and on the `program` input.
Run it against an installed module (`pip install .`).

Where the time goes stage by stage (lex, token post-pass, parse, tree walk,
emit, releases, encoding) on the same generated inputs: the C++ benchmark
bench/compile (build with -DVAXO_BENCH=ON, run bench/compile/bench_compile).
"""

import argparse
import pathlib
import resource
import subprocess
import sys
import time
import timeit

import dorirezoza

HERE = pathlib.Path(__file__).resolve().parent
GENERATOR = HERE.parents[1] / "workload" / "generate_source.py"


def generate(mode, size, seed=1):
    out = subprocess.run(
        [sys.executable, str(GENERATOR), "--mode", mode, "--size", str(size), "--seed", str(seed)],
        check=True, capture_output=True,
    )
    return out.stdout.decode("utf-8")


def best_of(fn, repeat):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", type=int, nargs="+", default=[1_000_000, 10_000_000])
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()

    script = dorirezoza.Config()
    # `grammar` is well-formed code; `script` is token soup that exercises recovery;
    # `program` is a realistic script, which compiles to a chunk without diagnostics.
    inputs = {"grammar": script, "script": script, "template": dorirezoza.Config(input_mode="template"),
              "program": script}
    for size in args.sizes:
        for mode, config in inputs.items():
            text = generate(mode, size)
            nbytes = len(text.encode("utf-8"))
            text.encode("utf-8")  # the str caches its UTF-8 form once, as a host's would
            chunk, words = dorirezoza.compile(text, config)
            seconds = best_of(lambda: dorirezoza.compile(text, config), args.repeat)
            print(f"{mode:8} {nbytes / 1e6:6.1f} MB  {nbytes / seconds / 1e6:8.1f} MB/s  "
                  f"chunk={'none' if chunk is None else len(chunk)} words={len(words)}")

    tiny = "let x = 1 + 2; x"
    config = script
    number = 200_000
    per_call = min(timeit.repeat(lambda: dorirezoza.compile(tiny, config), number=number, repeat=5)) / number
    print(f"tiny call ({tiny!r}): {per_call * 1e6:.2f} us")

    # Peak memory: one call on the largest script, measured in a fresh process
    # so that earlier peaks do not hide it.
    for mode in ("grammar", "program"):
        peak_memory(mode, max(args.sizes))


def peak_memory(mode, size):
    code = (
        "import sys, dorirezoza\n"
        "def status(key):\n"
        "    for line in open('/proc/self/status'):\n"
        "        if line.startswith(key): return int(line.split()[1])\n"
        "text = sys.stdin.read(); text.encode()\n"
        "open('/proc/self/clear_refs', 'w').write('5')  # reset the peak to the current size\n"
        "base = status('VmRSS:')\n"
        "dorirezoza.compile(text, dorirezoza.Config())\n"
        "print(base, status('VmHWM:'))\n"
    )
    text = generate(mode, size)
    out = subprocess.run([sys.executable, "-c", code], input=text.encode(), capture_output=True, check=True)
    base, peak = map(int, out.stdout.split())
    nbytes = len(text.encode("utf-8"))
    print(f"peak extra memory for a {nbytes / 1e6:.1f} MB {mode} script: {(peak - base) * 1024 / nbytes:.1f}x the text")


if __name__ == "__main__":
    main()
