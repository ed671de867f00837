"""Properties of compile() that hold for any text: it never raises on bad source,
and its two results always agree with each other."""
import struct
import threading

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import dorirezoza

SCRIPT = dorirezoza.Config()
TEMPLATE = dorirezoza.Config(input_mode="template")
ERROR_CODES = range(1001, 1999)

# Text built from the language's own pieces finds far more paths than random
# characters alone.
PIECES = [
    "let ", "mut ", "const ", "fn ", "if ", "else ", "while ", "loop ", "for ", "in ",
    "match ", "case ", "return ", "break ", "continue ", "is ", "not ", "and ", "or ",
    "true", "false", "nil", "nan", "inf", "_", "global", "type", "x", "@c", "y1",
    "0", "1.5", "0x1F", "1e400", "12_3", ".", "..", "..<", "::", ":", "?:", "?", "??",
    "(", ")", "[", "]", "{", "}", ",", ";", "=", "==", "+=", "-", "*", "/", "%", "^",
    "!", "&&", "||", "<", ">=", "=~", "!~", "'a'", '"b"', "'$x'", '"${1 + 2}"',
    "'$(a:fmt)'", "@'raw'", "'\\u{1F600}'", "'\\x41'", "'unterminated", "${", "$(",
    "// c\n", "/* c */", "\n", " ", "\t", "é", "😀", "\u0301", "\0", "\r",
]
source_text = st.one_of(
    st.text(max_size=200),
    st.lists(st.sampled_from(PIECES), max_size=60).map("".join),
)


def words_have_error(words):
    assert len(words) % 5 == 0
    return any(words[i + 4] in ERROR_CODES for i in range(0, len(words), 5))


def check_result(result):
    assert type(result) is tuple and len(result) == 2
    chunk, words = result
    assert chunk is None or type(chunk) is bytes
    assert type(words) is list
    assert all(type(w) is int and 0 <= w < 2**32 for w in words)
    assert (chunk is None) == words_have_error(words)
    if chunk is not None:
        check_chunk_lengths(chunk)


def check_chunk_lengths(chunk):
    # total length, code length L, the code, constants length S, the constants.
    assert len(chunk) >= 12
    total, code_length = struct.unpack_from("<II", chunk, 0)
    assert total == len(chunk) - 4
    assert 8 + code_length + 4 <= len(chunk)
    (constants_length,) = struct.unpack_from("<I", chunk, 8 + code_length)
    assert 8 + code_length + 4 + constants_length == len(chunk)
    # One function block: the Func header first, FuncEnd last.
    assert chunk[8] & 0x7F == 93
    assert chunk[8 + code_length - 1] & 0x7F == 95


@settings(max_examples=400, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(source_text, st.sampled_from([SCRIPT, TEMPLATE]))
def test_compile_never_raises_and_results_agree(text, config):
    check_result(dorirezoza.compile(text, config))


@pytest.mark.parametrize(
    "text",
    [
        "(" * 100_000,
        "[" * 100_000,
        "{" * 100_000,
        "-" * 100_000 + "x",
        "not " * 100_000 + "x",
        "a ^ " * 100_000 + "a",
        "a ? b : " * 100_000 + "c",
        "if x {} else " * 100_000 + "{}",
        "'${" * 100_000,
        "f" + "()" * 100_000,
        "a" + " + a" * 100_000,
        "let " + "(" * 100_000 + "x = 1;",
        "match x { case " + "(" * 100_000,
    ],
    ids=lambda text: repr(text[:12]),
)
def test_deep_nesting_ends_in_a_diagnostic(text):
    check_result(dorirezoza.compile(text, SCRIPT))
    check_result(dorirezoza.compile(text, TEMPLATE))


def test_deep_nesting_on_a_small_thread_stack():
    texts = ["(" * 1_000_000, "'${" * 200_000, "a" + " + a" * 200_000, "[" * 300_000 + "1"]
    failures = []

    def work():
        try:
            for text in texts:
                check_result(dorirezoza.compile(text, SCRIPT))
        except BaseException as error:  # noqa: BLE001 - reported below
            failures.append(error)

    old = threading.stack_size(512 * 1024)
    try:
        thread = threading.Thread(target=work)
        thread.start()
        thread.join()
    finally:
        threading.stack_size(old)
    assert not failures, failures
