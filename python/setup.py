"""Builds the pelmora module: its extension over the static libpelmora.

    /usr/bin/python3 -m pip install --no-build-isolation .

(Debian's setuptools and CMake; nothing is downloaded.) The extension is
built by the project's CMake files, as every other build is: this configures
the top project with PELMORA_PYTHON_MODULE=ON (no tests, no benchmarks) and
builds its target pelmora_python (python/CMakeLists.txt), so that the
sources, the flags (cmake/flags.cmake) and the version header are those of
every build. The CMake tree is in the build's temporary folder, or in
PELMORA_BUILD_DIR when set; JOBS sets the parallel jobs. The version comes
from the project's CMakeLists.txt.
"""
import glob
import os
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
    VERSION = re.search(r"project\(Pelmora VERSION ([0-9.]+)", f.read()).group(1)


class CMakeBuildExt(build_ext):
    """Builds the extension with CMake and copies it where setuptools wants it."""

    def build_extension(self, ext):
        tree = os.environ.get("PELMORA_BUILD_DIR") or os.path.join(
            os.path.abspath(self.build_temp), "cmake")
        subprocess.run(["cmake", "-S", ROOT, "-B", tree, "-DCMAKE_BUILD_TYPE=Release",
                        "-DPELMORA_PYTHON_MODULE=ON", "-DPELMORA_TESTS=OFF", "-DPELMORA_BENCH=OFF",
                        "-DPython3_EXECUTABLE=" + sys.executable], check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", tree, "--target", "pelmora_python",
                        "-j", os.environ.get("JOBS", str(os.cpu_count() or 1))], check=True)
        built = glob.glob(os.path.join(tree, "python", "module", "_pelmora*"))
        if len(built) != 1:
            raise RuntimeError("expected one extension in %s/python/module, found %s" % (tree, built))
        target = self.get_ext_fullpath(ext.name)
        if os.path.basename(built[0]) != os.path.basename(target):
            raise RuntimeError("CMake built %s for this Python, setuptools expects %s"
                               % (os.path.basename(built[0]), os.path.basename(target)))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(built[0], target)


setup(
    name="pelmora",
    version=VERSION,
    description="Maidenhead locators, bearings and great-circle distances, bit for bit as Pelmora.dll",
    packages=["pelmora"],
    package_data={"pelmora": ["__init__.pyi", "py.typed"]},
    ext_modules=[Extension("pelmora._pelmora", sources=[os.path.join(HERE, "src", "pelmora_module.cpp")])],
    cmdclass={"build_ext": CMakeBuildExt},
)
