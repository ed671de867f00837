#!/usr/bin/env python3
"""Prints one line per compiled input: its name, a digest of the chunk and the
diagnostic words, whether a chunk came out, and the word count.

    python3 bench/python/output_digest.py [--seeds 40] [--large] > digest.txt

Run it with two interpreters that have different versions installed and diff
the two files: a change that should keep the outputs keeps every line. The
inputs are the generated families (program, grammar, script, template) at
300 B, 3 KB and 30 KB for each seed, with --large also at 1 MB (seed 1); every source
under tests/data in both input modes; and the worst-case shapes of
scaling_bench.py at depths from 1 to 900, in both modes.
"""

import argparse
import hashlib
import pathlib
import sys

import dorirezoza

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parents[1] / "workload"))

import generate_source  # noqa: E402
import scaling_bench  # noqa: E402

DATA = HERE.parents[1] / "tests" / "data"
DEPTHS = (1, 5, 20, 50, 100, 150, 200, 250, 300, 400, 600, 900)


def inputs(seeds, large):
    for family in scaling_bench.FAMILIES:
        mode = "template" if family == "template" else "script"
        for size in (300, 3000, 30000):
            for seed in range(1, seeds + 1):
                yield f"{family}/{size}/{seed}", generate_source.generate(family, size, seed), mode
        if large:
            yield f"{family}/1000000/1", generate_source.generate(family, 1000_000, 1), mode
    for path in sorted(DATA.rglob("*")):
        if path.is_file() and path.suffix in (".src", ".tpl"):
            text = path.read_text(encoding="utf-8")
            for mode in ("script", "template"):
                yield f"{path.relative_to(DATA)}:{mode}", text, mode
    for name, unit in scaling_bench.unit_shapes().items():
        for depth in DEPTHS:
            for mode in ("script", "template"):
                yield f"{name}/{depth}:{mode}", unit(depth) + "\n", mode


def digest(text, mode):
    try:
        chunk, words = dorirezoza.compile(text, dorirezoza.Config(input_mode=mode))
    except BaseException as e:  # an internal error is an output too
        return f"raised {type(e).__name__}: {e}"
    h = hashlib.sha256(chunk if chunk is not None else b"<none>")
    h.update(b"".join(w.to_bytes(4, "little") for w in words))
    return f"{h.hexdigest()[:16]} chunk={chunk is not None} words={len(words)}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seeds", type=int, default=40, help="seeds per family and size (default 40)")
    parser.add_argument("--large", action="store_true", help="also each family at 1 MB")
    args = parser.parse_args()
    for name, text, mode in inputs(args.seeds, args.large):
        print(name, digest(text, mode), flush=True)


if __name__ == "__main__":
    main()
