"""Builds kvrn._kvrn with the project's CMake description (python/CMakeLists.txt).

The extension is one target of the top CMakeLists.txt, which says once which sources make the
codec and the lab's core, with which flags, and makes kvrn_version.h: this file only configures a
build with KVRN_PYTHON in setuptools' build_temp, builds that target and copies the module where
setuptools packs it. The package needs the checkout around it: it cannot be built from an sdist.
"""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent

if not (ROOT / "codec" / "include" / "kvrn.h").is_file():
    raise SystemExit(f"kvrn: the codec's sources are not in {ROOT}: build from a kvrn checkout")


def project_version():
    """The version of `project(kvrn VERSION x.y.z` in the top CMakeLists.txt."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    found = re.search(r"project\(\s*kvrn\s+VERSION\s+(\d+\.\d+\.\d+)", text)
    if found is None:
        raise SystemExit("kvrn: no `project(kvrn VERSION x.y.z` in CMakeLists.txt")
    return found.group(1)


def cached(cache, name):
    """The value of NAME in a CMakeCache.txt, or None."""
    found = re.search(rf"^{name}:[A-Z]+=(.*)$", cache, re.MULTILINE)
    return found.group(1) if found else None


class cmake_build_ext(build_ext):
    """build_ext that has CMake build the one target, kvrn_python."""

    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        python = Path(sys.executable)
        # A build directory left by another checkout or another Python would be configured for
        # their sources or headers; CMake refuses the first and would keep the second.
        cache_file = build / "CMakeCache.txt"
        if cache_file.is_file():
            cache = cache_file.read_text(encoding="utf-8", errors="replace")
            if (cached(cache, "CMAKE_HOME_DIRECTORY") != str(ROOT)
                    or cached(cache, "Python_EXECUTABLE") != str(python)):
                shutil.rmtree(build)
        build.mkdir(parents=True, exist_ok=True)
        # Only what the extension needs: no viewer (OpenGL, GLUT) and no tests (GoogleTest).
        configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-G", "Ninja",
                     "-DCMAKE_BUILD_TYPE=Release", "-DKVRN_PYTHON=ON", "-DKVRN_VIEWER=OFF",
                     "-DKVRN_BUILD_TESTS=OFF", f"-DPython_EXECUTABLE={python}"]
        # The pybind11 of the build requirements, where it is a Python package (Debian's
        # python3-pybind11, or the one pip installs for an isolated build), with its CMake files.
        try:
            import pybind11
        except ImportError:
            pass
        else:
            configure.append(f"-Dpybind11_DIR={pybind11.get_cmake_dir()}")
        subprocess.run(configure, check=True, stdout=None if self.verbose else subprocess.DEVNULL)
        # KVRN_JOBS compiles that many files at once, as the project's scripts build (default:
        # one per processor).
        jobs = os.environ.get("KVRN_JOBS") or str(os.cpu_count() or 1)
        subprocess.run(["cmake", "--build", str(build), "--target", "kvrn_python", "-j", jobs],
                       check=True)
        # CMake names the module with the suffix of the Python it was configured for, the one
        # setuptools uses too.
        target = Path(self.get_ext_fullpath(ext.name))
        built = build / "python" / target.name
        if not built.is_file():
            raise SystemExit(f"kvrn: CMake did not build {built}")
        self.mkpath(str(target.parent))
        self.copy_file(str(built), str(target))


setup(
    version=project_version(),
    # The sources are CMake's to list; setuptools only needs the name.
    ext_modules=[Extension("kvrn._kvrn", sources=[])],
    cmdclass={"build_ext": cmake_build_ext},
)
