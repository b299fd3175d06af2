"""Builds the extension module with the project's CMake (the library and the archive core
with it) and puts it in the package beside both libraries.

    pip install --no-build-isolation ./python        # from the project's top folder

Needs what the library needs (a C++17 compiler, CMake 3.25, Ninja) and Python's headers and
pybind11 (Debian: python3-dev pybind11-dev). YDR_CMAKE_ARGS adds options to the configure step.
"""

import os
import shlex
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent


class BuildWithExtension(build_py):
    def run(self):
        super().run()
        build = ROOT / "build" / "python-package"
        configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                     "-DYDR_BUILD_PYTHON=ON", "-DYDR_BUILD_TESTS=OFF", "-DYDR_BUILD_BENCHMARKS=OFF",
                     f"-DPython3_EXECUTABLE={sys.executable}"]
        configure += shlex.split(os.environ.get("YDR_CMAKE_ARGS", ""))
        subprocess.check_call(configure)
        subprocess.check_call(["cmake", "--build", str(build), "--target", "ydr_python"])
        target = Path(self.build_lib) / "ydr"
        target.mkdir(parents=True, exist_ok=True)
        built = build / "python" / "ydr"
        for item in built.iterdir():
            if item.name.startswith(("_ydr", "libYdr")):
                shutil.copy2(item, target / item.name)


class BinaryDistribution(Distribution):
    def has_ext_modules(self):
        return True


setup(cmdclass={"build_py": BuildWithExtension}, distclass=BinaryDistribution)
