"""What the module keeps for a thread once `compile` has returned: whatever the
input's size, no more than a small bound. Run in a fresh interpreter, so that
what other tests leave behind neither hides nor inflates it."""

import os
import pathlib
import subprocess
import sys

GENERATOR = pathlib.Path(__file__).resolve().parents[2] / "workload" / "generate_source.py"

CHILD = r"""
import ctypes, importlib.util, os, sys, threading
import dorirezoza

spec = importlib.util.spec_from_file_location("generate_source", sys.argv[1])
generator = importlib.util.module_from_spec(spec)
spec.loader.exec_module(generator)

libc = ctypes.CDLL("libc.so.6")

def resident():
    libc.malloc_trim(0)
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")

config = dorirezoza.Config()
# A realistic program, and ten copies of it, each in a block of its own so
# that the whole still compiles to a chunk.
program = generator.generate("program", 1_000_000, 3)
large = ("{\n" + program + "\n}\n") * 10
# The module reads a str through its UTF-8 form, which the str then keeps:
# that is made before the start is read.
as_utf8 = ctypes.pythonapi.PyUnicode_AsUTF8
as_utf8.argtypes = [ctypes.py_object]
as_utf8.restype = ctypes.c_void_p
for text in (program, large):
    as_utf8(text)

dorirezoza.compile("let x = 1 + 2; x", config)
start = resident()
assert dorirezoza.compile(large, config)[0] is not None
after_large = resident()
threads = [threading.Thread(target=dorirezoza.compile, args=(program, config)) for _ in range(16)]
for t in threads:
    t.start()
for t in threads:
    t.join()
after_threads = resident()
print(after_large - start, after_threads - start)
"""


def test_compiles_leave_little_memory_behind():
    # One malloc arena for every thread: malloc_trim cannot give back the free
    # top of a thread's own arena, memory the C library keeps, not the module.
    env = dict(os.environ, MALLOC_ARENA_MAX="1")
    out = subprocess.run(
        [sys.executable, "-c", CHILD, str(GENERATOR)], env=env, capture_output=True, text=True, check=True
    )
    after_large, after_threads = map(int, out.stdout.split())
    bound = 4 << 20
    assert after_large <= bound, f"a 10 MB compile left {after_large / 2**20:.1f} MiB"
    assert after_threads <= bound, f"1 MB compiles on 16 threads left {after_threads / 2**20:.1f} MiB"
