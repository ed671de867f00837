import importlib.util
import pathlib
import re

import pytest

import dorirezoza

GENERATOR = pathlib.Path(__file__).resolve().parents[2] / "workload" / "generate_source.py"


def load_generator():
    spec = importlib.util.spec_from_file_location("generate_source", GENERATOR)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


generate = load_generator().generate

# Statement, block and expression forms that a program of 200 kB uses.
FORMS = [
    r"^\s*const @\w+ = ", r"^\s*let \w+ = ", r"^\s*let mut \w+ = ", r"^\s*let \[\w+, \.\.\w+\] = ",
    r"^\s*let \(\w+.*\) = \w+;", r"^\s*fn \w+\(", r"= fn\(", r"fn \{ it ", r"\} else if ", r"\} else \{",
    r"^\s*while ", r"= while ", r"= loop \{", r"^\s*for \w+ in ", r"^\s*for \(", r"\} else \{ nil \}",
    r"match \w+ \{", r"^\s*case .* if ", r"^\s*case _ ", r"\bbreak\b", r"\bcontinue;", r"\breturn\b",
    r"\] = \[", r"\?\?=", r"(&&|\|\|)= ", r"\w+\.\w+ [-+]?= ", r"::\w+\(", r"\$\(\w.*:", r"\$\{", r" is ", r" in ",
    r"\{\"\w+\": ", r"\w+\[\d*\.\.<?\w*\]", r"\(\.\.\w+, ", r"\(: \w+",
]


@pytest.mark.parametrize("seed", [1, 2])
def test_program_mode_compiles_to_a_chunk_without_errors_or_warnings(seed):
    text = generate("program", 50_000, seed)
    chunk, words = dorirezoza.compile(text, dorirezoza.Config())
    found = [dorirezoza.get_diagnostic_message(words[i + 4])[:2] for i in range(0, len(words), 5)]
    # JSON-style objects always carry the hint that prefers `()` records.
    assert [d for d in found if d != ("Hint", "PreferParenthesesForRecordLiteral")] == []
    assert chunk is not None


def test_program_mode_uses_every_form():
    text = generate("program", 200_000, 1)
    missing = [form for form in FORMS if not re.search(form, text, re.MULTILINE)]
    assert missing == []


def test_program_mode_is_deterministic_for_a_seed():
    assert generate("program", 20_000, 3) == generate("program", 20_000, 3)
    assert generate("program", 20_000, 3) != generate("program", 20_000, 4)
