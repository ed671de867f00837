import ctypes
import inspect

import pytest

import dorirezoza


def test_module_surface():
    public = {name for name in dir(dorirezoza) if not name.startswith("__")}
    assert public == {"Config", "get_diagnostic_message", "compile", "op_codes"}
    assert dorirezoza.__doc__ == ""
    assert isinstance(dorirezoza.Config, type)


@pytest.mark.parametrize(
    "obj, signature",
    [
        (dorirezoza.compile, "(script, config)"),
        (dorirezoza.op_codes, "()"),
        (dorirezoza.get_diagnostic_message, "(code)"),
        (dorirezoza.Config, "(**data)"),
    ],
)
def test_text_signatures(obj, signature):
    assert obj.__text_signature__ == signature
    assert str(inspect.signature(obj)) == signature


@pytest.mark.parametrize(
    "code, expected",
    [
        (1002, ("Error", "LexerError", "Unknown lexer error occurred")),
        (1003, ("Error", "ParserError", "Unknown parser error occurred")),
        (1034, ("Error", "InvalidConstantName", "Constant name must start with '@'")),
        (1009, ("Error", "InvalidReservedKeyword",
                "`$0` is a reserved keyword and cannot be used as an identifier")),
        (2001, ("Warning", "MisleadingNilVariable",
                "Either use `global.$0` explicitly or `nil` if you want to use the nil value")),
        (4009, ("Hint", "PreferUppercaseConstant", "Prefer uppercase for constant $0")),
        (5001, ("Reference", "VariableDeclaredHere", "...declared here")),
        (10034, ("Unknown", "String", "Unknown error")),
        (11023, ("Unknown", "OmitNamedRecordFieldName", "Unknown error")),
        (12000, ("Unknown", "SourceMap", "Unknown error")),
        (1000, ("Unknown", "ErrorStart", "Unknown error")),
        (2000, ("Warning", "WarningStart", "Unknown error")),
        (11999, ("Unknown", "TagRefEnd", "Unknown error")),
    ],
)
def test_get_diagnostic_message(code, expected):
    assert dorirezoza.get_diagnostic_message(code) == expected
    assert dorirezoza.get_diagnostic_message(code=code) == expected


def test_get_diagnostic_message_accepts_index_objects():
    class Index:
        def __index__(self):
            return 1002

    assert dorirezoza.get_diagnostic_message(Index())[1] == "LexerError"


def test_every_declared_code_and_nothing_else():
    found = {}
    for code in range(65536):
        try:
            found[code] = dorirezoza.get_diagnostic_message(code)
        except ValueError:
            pass
    assert len(found) == 175
    assert sum(1 for level, name, message in found.values() if message != "Unknown error") == 95
    levels = {code: level for code, (level, _, _) in found.items()}
    assert {c for c, level in levels.items() if level == "Error"} == set(range(1001, 1071))
    assert {c for c, level in levels.items() if level == "Hint"} == {4000, *range(4001, 4010)}


@pytest.mark.parametrize("code", [0, 999, 1071, 3001, 12001, 65535])
def test_unknown_code_is_value_error(code):
    with pytest.raises(ValueError) as info:
        dorirezoza.get_diagnostic_message(code)
    assert str(info.value) == f"No diagnostic message found for code {code}"


@pytest.mark.parametrize("code", [-1, 65536, 65536 + 1002, 2**64 + 1002, -(2**70)])
def test_out_of_range_code_is_overflow_error(code):
    # A 16-bit conversion must not wrap 65536 + 1002 round to 1002.
    with pytest.raises(OverflowError):
        dorirezoza.get_diagnostic_message(code)


@pytest.mark.parametrize("code", [1002.0, "1002", None, b"1"])
def test_non_integer_code_is_type_error(code):
    with pytest.raises(TypeError):
        dorirezoza.get_diagnostic_message(code)


@pytest.mark.parametrize(
    "args, kwargs",
    [((), {}), ((1002, 1002), {}), ((), {"cod": 1002}), ((1002,), {"code": 1002})],
)
def test_get_diagnostic_message_argument_errors(args, kwargs):
    with pytest.raises(TypeError):
        dorirezoza.get_diagnostic_message(*args, **kwargs)


@pytest.mark.parametrize(
    "kwargs",
    [{}, {"input_mode": "script"}, {"input_mode": "template"}, {"other": 1},
     {"input_mode": "template", "unknown": object()}],
)
def test_config_accepts(kwargs):
    config = dorirezoza.Config(**kwargs)
    assert type(config) is dorirezoza.Config


@pytest.mark.parametrize(
    "value", ["Script", "TEMPLATE", "", " script", "script\0", None, 1, b"script", "\ud800"]
)
def test_config_rejects_bad_input_mode(value):
    with pytest.raises(ValueError) as info:
        dorirezoza.Config(input_mode=value)
    assert str(info.value) == "Invalid input_mode, expected 'script' or 'template'"


def test_config_refuses_positional_arguments():
    with pytest.raises(TypeError):
        dorirezoza.Config("script")
    with pytest.raises(TypeError):
        dorirezoza.Config({"input_mode": "script"})


def test_config_has_no_attributes_of_its_own():
    config = dorirezoza.Config(input_mode="template")
    with pytest.raises(AttributeError):
        config.input_mode  # noqa: B018
    with pytest.raises(AttributeError):
        config.input_mode = "script"


def test_second_initialisation_raises_import_error():
    # The module object exists once per process; calling the entry point again must refuse.
    init = ctypes.PyDLL(dorirezoza.__file__).PyInit_dorirezoza
    init.restype = ctypes.py_object
    with pytest.raises(ImportError):
        init()
