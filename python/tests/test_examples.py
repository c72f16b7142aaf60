"""The Python examples run to the end without a display."""
import os
import subprocess
import sys

import pytest

from conftest import ROOT


def run(script, *args, cwd):
    env = dict(os.environ, MPLBACKEND="Agg")
    env.pop("DISPLAY", None)
    return subprocess.run([sys.executable, str(ROOT / "examples" / script), *args], cwd=cwd,
                          env=env, capture_output=True, text=True, timeout=300)


def test_python_score_example(tmp_path):
    done = run("python_score.py", str(tmp_path / "counts.png"), cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    assert "python: " + sys.executable in done.stdout
    assert "fired-rule counts:" in done.stdout
    try:
        import matplotlib  # noqa: F401
    except ImportError:
        return
    assert (tmp_path / "counts.png").stat().st_size > 0


def test_python_dask_example(tmp_path):
    pytest.importorskip("distributed")
    done = run("python_dask.py", "20000", cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    assert "the same rows as in one process" in done.stdout
