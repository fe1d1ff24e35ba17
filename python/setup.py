"""Builds kvrn._kvrn: the package's bindings compiled together with the codec's own sources.

The codec is compiled here rather than linked from a CMake build so that pip alone builds the
package from a checkout. Every .cpp under codec/ belongs to the codec library, as in the top
CMakeLists.txt, so the folders are globbed rather than their files listed. The package needs
the checkout around it: it cannot be built from an sdist.
"""

import re
from pathlib import Path

from pybind11.setup_helpers import ParallelCompile, Pybind11Extension, build_ext
from setuptools import setup

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent

if not (ROOT / "codec" / "include" / "kvrn.h").is_file():
    raise SystemExit(f"kvrn: the codec's sources are not in {ROOT}: build from a kvrn checkout")


def project_version():
    """The version of `project(kvrn VERSION x.y.z` in the top CMakeLists.txt."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    found = re.search(r"project\(\s*kvrn\s+VERSION\s+(\d+)\.(\d+)\.(\d+)", text)
    if found is None:
        raise SystemExit("kvrn: no `project(kvrn VERSION x.y.z` in CMakeLists.txt")
    return found.groups()


class build_codec_ext(build_ext):
    """build_ext that first writes kvrn_version.h, as CMake's configure_file does."""

    def build_extensions(self):
        generated = Path(self.build_temp).resolve() / "generated"
        generated.mkdir(parents=True, exist_ok=True)
        major, minor, patch = project_version()
        template = (ROOT / "codec" / "include" / "kvrn_version.h.in").read_text(encoding="utf-8")
        values = {
            "PROJECT_VERSION_MAJOR": major,
            "PROJECT_VERSION_MINOR": minor,
            "PROJECT_VERSION_PATCH": patch,
            "PROJECT_VERSION": f"{major}.{minor}.{patch}",
        }
        header = re.sub(r"@(\w+)@", lambda match: values[match.group(1)], template)
        target = generated / "kvrn_version.h"
        # Unchanged files keep their time, so that a rebuild compiles nothing more.
        if not target.is_file() or target.read_text(encoding="utf-8") != header:
            target.write_text(header, encoding="utf-8")
        for extension in self.extensions:
            extension.include_dirs.append(str(generated))
        super().build_extensions()


codec_sources = sorted(str(path) for path in (ROOT / "codec").rglob("*.cpp"))
# setuptools does not follow includes: any header changed rebuilds the extension.
codec_headers = sorted(str(path) for path in (ROOT / "codec").rglob("*.h"))

extension = Pybind11Extension(
    "kvrn._kvrn",
    [str(HERE / "src" / "module.cpp"), *codec_sources],
    include_dirs=[str(ROOT)],
    depends=[*codec_headers, str(ROOT / "codec" / "include" / "kvrn_version.h.in")],
    cxx_std=20,
    extra_compile_args=[
        # The colour conversion is defined on IEEE double products and sums rounded one at a
        # time, so fused multiply-adds must not be formed (as in the top CMakeLists.txt).
        "-ffp-contract=off",
        # The vector kernels hand 32-byte vectors between always-inlined AVX2 functions; the
        # note about how such vectors would be passed to real calls does not apply.
        "-Wno-psabi",
        # The code as the CMake build makes libkvrn, whatever Python's own flags add: -fwrapv
        # (the codec has no signed overflow to wrap) and a stack guard in every function with
        # an array, which the block functions all have.
        "-fno-wrapv",
        "-fno-stack-protector",
        "-fvisibility-inlines-hidden",
    ],
)

# KVRN_JOBS compiles that many files at once, as the project's scripts build (default: one per
# processor).
ParallelCompile("KVRN_JOBS", default=0).install()

setup(
    version=".".join(project_version()),
    ext_modules=[extension],
    cmdclass={"build_ext": build_codec_ext},
)
