import os
import pathlib

import dorirezoza

REPO = pathlib.Path(__file__).resolve().parents[2]


def pytest_sessionstart(session):
    # A stale install would make every test below meaningless: the module
    # under test must be newer than every source it is built from.
    module = pathlib.Path(dorirezoza.__file__)
    assert REPO not in module.resolve().parents or "build" in module.parts, module
    newest = max(
        p.stat().st_mtime
        for folder in ("core", "python")
        for p in (REPO / folder).rglob("*")
        if p.is_file()
    )
    if os.environ.get("DORIREZOZA_ALLOW_STALE") != "1":
        assert module.stat().st_mtime >= newest, (
            f"{module} is older than the sources: reinstall with `pip install .`"
        )
