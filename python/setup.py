"""Builds the pelmora module: libpelmora compiled into a C extension.

    /usr/bin/python3 -m pip install --no-build-isolation .

(Debian's setuptools; nothing is downloaded.) The version comes from the
project's CMakeLists.txt.
"""
import glob
import os
import re

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
    VERSION = re.search(r"project\(Pelmora VERSION ([0-9.]+)", f.read()).group(1)


class BuildExt(build_ext):
    """Writes pelmora_version.h (as CMake does) before compiling."""

    def run(self):
        major, minor, patch = VERSION.split(".")
        include = os.path.join(self.build_temp, "include")
        os.makedirs(include, exist_ok=True)
        with open(os.path.join(ROOT, "capi", "include", "pelmora_version.h.in")) as f:
            text = f.read()
        for key, value in (("PELMORA_VERSION", VERSION), ("PELMORA_VERSION_MAJOR", major),
                           ("PELMORA_VERSION_MINOR", minor), ("PELMORA_VERSION_PATCH", patch)):
            text = text.replace("@%s@" % key, value)
        with open(os.path.join(include, "pelmora_version.h"), "w") as f:
            f.write(text)
        for extension in self.extensions:
            extension.include_dirs.append(include)
        super().run()


sources = [os.path.join(HERE, "src", "pelmora_module.cpp"), os.path.join(ROOT, "capi", "pelmora.cpp")]
sources += sorted(glob.glob(os.path.join(ROOT, "calc", "*.cpp")))
sources += [os.path.join(ROOT, "runtime", name + ".cpp")
            for name in ("code_page", "errors", "fp_status", "trig", "trig_accurate", "trig_tables")]

# Every header the sources include, so that a change to one rebuilds the
# extension.
depends = sorted(glob.glob(os.path.join(ROOT, "capi", "*.h")) +
                 glob.glob(os.path.join(ROOT, "capi", "include", "*.h*")) +
                 glob.glob(os.path.join(ROOT, "calc", "*.h")) +
                 glob.glob(os.path.join(ROOT, "runtime", "*.h")) +
                 [os.path.join(ROOT, "component", "fp_environment.h")])

setup(
    name="pelmora",
    version=VERSION,
    description="Maidenhead locators, bearings and great-circle distances, bit for bit as Pelmora.dll",
    packages=["pelmora"],
    package_data={"pelmora": ["__init__.pyi", "py.typed"]},
    ext_modules=[Extension(
        "pelmora._pelmora",
        sources=sources,
        depends=depends,
        include_dirs=[ROOT, os.path.join(ROOT, "capi", "include")],
        language="c++",
        # The calculations' exactness: no contraction into fused
        # multiply-adds, no errno from the maths library.
        extra_compile_args=["-std=c++20", "-O3", "-ffp-contract=off", "-fno-math-errno",
                            "-fvisibility=hidden", "-DPELMORA_BUILDING"],
    )],
    cmdclass={"build_ext": BuildExt},
)
