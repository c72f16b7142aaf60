import os
import pathlib

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]

# The worked example: R1 fires above 60, R2 always, R3 in the north; a
# weighted sum.
WORKED = (ROOT / "tests" / "data" / "models" / "worked.pmml").read_text()


@pytest.fixture
def worked():
    import rulescore
    return rulescore.load(WORKED)


@pytest.fixture
def root():
    return ROOT


@pytest.fixture
def tool():
    """The command-line tool of the same build, or None."""
    package = pathlib.Path(__import__("rulescore").__file__).resolve().parent
    candidate = package.parent.parent / "rulescore"
    return str(candidate) if candidate.exists() and os.access(candidate, os.X_OK) else None
