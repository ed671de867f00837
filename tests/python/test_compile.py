import gc
import os
import resource
import struct
import subprocess
import sys
import textwrap

import pytest

import dorirezoza

SCRIPT = dorirezoza.Config()
TEMPLATE = dorirezoza.Config(input_mode="template")

EMPTY_CHUNK = bytes.fromhex("12000000" "0a000000" "5d000001" "280100" "6001" "5f" "00000000")


def decode(words):
    """The words as (start line, start col, end line, end col, name) per diagnostic."""
    assert len(words) % 5 == 0
    return [
        (*words[i : i + 4], dorirezoza.get_diagnostic_message(words[i + 4])[1])
        for i in range(0, len(words), 5)
    ]


def test_op_codes_is_a_new_dict_of_all_99_instructions():
    first, second = dorirezoza.op_codes(), dorirezoza.op_codes()
    assert type(first) is dict
    assert first == second and first is not second
    assert len(first) == 99
    assert sorted(first.values()) == list(range(99))
    assert first["Noop"] == 0 and first["CallDyn"] == 98
    assert first["Func"] == 93 and first["FuncEnd"] == 95 and first["Return"] == 96
    first.clear()
    assert len(dorirezoza.op_codes()) == 99


def test_empty_script_gives_the_minimal_chunk():
    assert dorirezoza.compile("", SCRIPT) == (EMPTY_CHUNK, [])
    assert dorirezoza.compile(script="", config=SCRIPT) == (EMPTY_CHUNK, [])


def test_default_config_and_explicit_script_mode_agree():
    for text in ["let x = 1 + 2; x", "let x = ", "'${a}'", "fn f(a) { a }"]:
        assert dorirezoza.compile(text, dorirezoza.Config()) == dorirezoza.compile(
            text, dorirezoza.Config(input_mode="script")
        )


def test_template_mode_reads_the_whole_text_as_one_string():
    chunk, words = dorirezoza.compile("let x = 1", TEMPLATE)
    assert words == []
    assert b"let x = 1" in chunk
    # The same text as a script is a statement missing its semicolon.
    assert dorirezoza.compile("let x = 1", SCRIPT)[0] is None


@pytest.mark.parametrize(
    "text, config, expected",
    [
        ("let x = 1", SCRIPT,
         [(1, 10, 1, 10, "MissingSemicolon"), (1, 5, 1, 6, "UnusedLocalVariable")]),
        ("let x = 1;", SCRIPT, [(1, 5, 1, 6, "UnusedLocalVariable")]),
        ("'a\\q'", SCRIPT, [(1, 3, 1, 5, "InvalidEscapeSequence")]),
        (")", SCRIPT, [(1, 1, 1, 2, "UnmatchedCloseParen")]),
        ("é\n😀 + )", SCRIPT, None),
    ],
    ids=["missing-semicolon", "unused", "escape", "unmatched", "multibyte"],
)
def test_diagnostic_words(text, config, expected):
    chunk, words = dorirezoza.compile(text, config)
    if expected is not None:
        assert decode(words) == expected
    levels = [dorirezoza.get_diagnostic_message(words[i])[0] for i in range(4, len(words), 5)]
    assert (chunk is None) == ("Error" in levels)


def test_nesting_past_the_bound_is_one_parser_error_over_the_rest():
    chunk, words = dorirezoza.compile("(" * 100_000, SCRIPT)
    assert chunk is None
    [(start_line, start_col, end_line, end_col, name)] = decode(words)
    assert name == "ParserError"
    assert (start_line, end_line, end_col) == (1, 1, 100_001)
    assert start_col < end_col


def test_running_out_of_memory_raises_memory_error():
    # A child process with its address space capped a little above what it
    # already holds: the compile's allocations fail, the call raises
    # MemoryError, and the interpreter carries on.
    program = textwrap.dedent(
        """
        import resource
        import dorirezoza

        text = "x;" * 5_000_000
        with open("/proc/self/statm") as f:
            held = int(f.read().split()[0]) * resource.getpagesize()
        resource.setrlimit(resource.RLIMIT_AS, (held + (64 << 20), resource.RLIM_INFINITY))
        try:
            dorirezoza.compile(text, dorirezoza.Config())
        except MemoryError:
            print("MemoryError")
        else:
            print("compiled")
        print(dorirezoza.compile("1;", dorirezoza.Config())[1])
        """
    )
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    result = subprocess.run(
        [sys.executable, "-c", program], capture_output=True, text=True, env=env, timeout=120
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout.split("\n")[:2] == ["MemoryError", "[]"]


def test_nesting_bounds_are_exact_and_the_failure_covers_the_rest():
    def parens(n):
        return "(" * n + "x" + ")" * n

    def strings(n):
        return "'$(" * n + "x" + ")'" * n

    # 7998 parentheses parse, one more is a parser error from the innermost
    # expression to the end.
    assert dorirezoza.compile(parens(7998), SCRIPT)[0] is not None
    text = parens(7999)
    chunk, words = dorirezoza.compile(text, SCRIPT)
    assert chunk is None
    assert decode(words) == [(1, 8000, 1, len(text) + 1, "ParserError")]
    # 4096 nested interpolations lex, one more is a lexer error over the rest.
    assert dorirezoza.compile(strings(4096), SCRIPT)[0] is not None
    text = strings(4097)
    chunk, words = dorirezoza.compile(text, SCRIPT)
    assert chunk is None
    assert decode(words) == [(1, 2, 1, len(text) + 1, "LexerError")]


def test_positions_count_lines_and_utf8_columns():
    # é is two bytes, the emoji four: the `)` sits at byte column 8 of line 2.
    _, words = dorirezoza.compile("é\n😀 + )", SCRIPT)
    assert (2, 8, 2, 9, "UnmatchedCloseParen") in decode(words)


def test_lone_surrogate_raises_the_interpreters_encoding_error():
    with pytest.raises(UnicodeEncodeError):
        dorirezoza.compile("x\ud800", SCRIPT)


def test_nul_characters_are_source_text():
    chunk, words = dorirezoza.compile("'a\0b'", SCRIPT)
    assert words == []
    assert b"a\0b" in chunk


@pytest.mark.parametrize(
    "args, kwargs",
    [
        ((), {}),
        (("x",), {}),
        ((b"x", SCRIPT), {}),
        ((1, SCRIPT), {}),
        (("x", None), {}),
        (("x", {"input_mode": "script"}), {}),
        (("x", SCRIPT, SCRIPT), {}),
        (("x",), {"config": SCRIPT, "extra": 1}),
        ((), {"text": "x", "config": SCRIPT}),
    ],
)
def test_compile_argument_errors(args, kwargs):
    with pytest.raises(TypeError):
        dorirezoza.compile(*args, **kwargs)


def test_repeated_calls_do_not_leak():
    text = "let x = [1, 'a', (b: 2)]; fn f(y) { y + x[0] } f(3) 'oops"

    def rss_kib():
        return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss

    for _ in range(20_000):
        dorirezoza.compile(text, SCRIPT)
    gc.collect()
    before = rss_kib()
    for _ in range(100_000):
        dorirezoza.compile(text, SCRIPT)
        dorirezoza.compile(text, TEMPLATE)
    gc.collect()
    # A leak of even a few bytes per call would show as several MiB here.
    assert rss_kib() - before < 4096


def test_chunk_layout_of_a_small_script():
    chunk, words = dorirezoza.compile("let x = 1 + 2; x", SCRIPT)
    assert words == []
    total, code_length = struct.unpack_from("<II", chunk, 0)
    assert total == len(chunk) - 4
    (constants_length,) = struct.unpack_from("<I", chunk, 8 + code_length)
    constants = chunk[12 + code_length :]
    assert len(constants) == constants_length
    # Two Number constants, 1.0 and 2.0, in order of first use.
    assert constants == b"\x04" + struct.pack("<d", 1.0) + b"\x04" + struct.pack("<d", 2.0)


def test_undeclared_name_reads_a_global():
    # Func 0, 0 parameters, 1 register; GetGlobal r1, K0; Return r1; FuncEnd;
    # then one String constant "x".
    code = bytes([0x5D, 0, 0, 1, 44, 1, 0, 0x60, 1, 0x5F])
    constants = b"\x05" + struct.pack("<I", 1) + b"x"
    expected = struct.pack("<II", 8 + len(code) + len(constants), len(code)) + code
    expected += struct.pack("<I", len(constants)) + constants
    assert dorirezoza.compile("x", SCRIPT) == (expected, [])


def test_word_ints_past_the_small_int_range_keep_their_values():
    # One unmatched `)` per line, on hundreds of lines and at columns past
    # 256: equal words may share one int, every value must still be its own.
    lines = [" " * ((k * 37) % 400) + ")" for k in range(700)]
    chunk, words = dorirezoza.compile("\n".join(lines), SCRIPT)
    assert chunk is None
    expected = []
    for k, line in enumerate(lines, start=1):
        col = len(line)
        expected.append((k, col, k, col + 1, "UnmatchedCloseParen"))
    assert decode(words) == expected
    assert all(type(w) is int for w in words)


class Text(str):
    pass


@pytest.mark.parametrize("config", [SCRIPT, TEMPLATE], ids=["script", "template"])
def test_every_way_of_passing_the_arguments_gives_the_same_result(config):
    text = "let x = (1 + 'a${y}'); )\n" * 50 + "${"
    positional = dorirezoza.compile(text, config)
    assert positional[1]
    assert dorirezoza.compile(script=text, config=config) == positional
    assert dorirezoza.compile(text, config=config) == positional
    assert dorirezoza.compile(config=config, script=text) == positional
    assert dorirezoza.compile(Text(text), config) == positional
