"""Builds the compiled half of the rulescore package with the project's
CMake build (the rest of the package is plain Python):

    /usr/bin/python3 -m pip install --no-build-isolation ./python

Everything comes from the system: CMake, a C++17 compiler, Xerces-C,
pybind11, numpy and pandas. CMAKE_ARGS adds arguments to the CMake
configuration; RULESCORE_JOBS sets the build's parallel jobs (default 2).
"""
import os
import pathlib
import re
import shlex
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent


def version():
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    return re.search(r"project\(rulescore VERSION ([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    """Builds the rulescore_python target and installs its `python`
    component (the module, the host library it loads and the package's
    files) into the directory the wheel is made from."""

    def build_extension(self, ext):
        target = pathlib.Path(self.get_ext_fullpath(ext.name)).resolve().parent.parent
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        configure = [
            "cmake", "-S", str(ROOT), "-B", str(build),
            "-DCMAKE_BUILD_TYPE=Release",
            "-DRULESCORE_BUILD_TESTS=OFF", "-DRULESCORE_BUILD_BENCH=OFF",
            "-DRULESCORE_BUILD_PYTHON=ON",
            "-DPython_EXECUTABLE=" + sys.executable,
            "-DRULESCORE_PYTHON_INSTALL_DIR=" + str(target),
        ] + shlex.split(os.environ.get("CMAKE_ARGS", ""))
        jobs = os.environ.get("RULESCORE_JOBS", "2")
        print("python:", sys.executable)
        subprocess.check_call(configure)
        subprocess.check_call(["cmake", "--build", str(build), "-j", jobs, "--target", "rulescore_python"])
        subprocess.check_call(["cmake", "--install", str(build), "--component", "python"])


setup(
    version=version(),
    ext_modules=[Extension("rulescore._core", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
)
