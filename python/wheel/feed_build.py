"""The build backend of `pip install .` (PEP 517): CMake builds the Python module, and the
package, with libfeed and libtarn beside its compiled half, is zipped into a wheel.

It needs nothing from a package index: `pip install . --no-build-isolation` works offline
(Debian: inside `python3 -m venv --system-site-packages`, whose numpy is the system's).
Settings (`pip install -C key=value`): build-dir (default build-wheel in the source tree, kept
between builds), build-type (Release), cmake-args (more configure arguments), jobs.
"""

from __future__ import annotations

import base64
import hashlib
import os
import re
import shlex
import subprocess
import sys
import sysconfig
import tempfile
import zipfile

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
NAME = "feed"


def _version() -> str:
    with open(os.path.join(SOURCE, "CMakeLists.txt")) as cmake:
        return re.search(r"project\(feed VERSION ([0-9.]+)", cmake.read()).group(1)


def _tag() -> str:
    """The wheel's tag: this interpreter, its ABI, this platform."""
    interpreter = f"cp{sys.version_info.major}{sys.version_info.minor}"
    abi = interpreter + sys.abiflags
    platform = re.sub(r"[-.]", "_", sysconfig.get_platform())
    return f"{interpreter}-{abi}-{platform}"


def _dist_info(version: str) -> dict:
    """The files of the .dist-info folder but RECORD, by name."""
    metadata = "\n".join(
        [
            "Metadata-Version: 2.1",
            f"Name: {NAME}",
            f"Version: {version}",
            "Summary: Decoded frames and samples from media files, and the feed of a list of "
            "them, as numpy arrays",
            "Requires-Python: >=3.7",
            "Requires-Dist: numpy",
            "",
        ]
    )
    wheel = "\n".join(
        ["Wheel-Version: 1.0", "Generator: feed_build", "Root-Is-Purelib: false",
         f"Tag: {_tag()}", ""]
    )
    return {"METADATA": metadata, "WHEEL": wheel}


def _setting(config: dict | None, key: str, default: str) -> str:
    value = (config or {}).get(key, default)
    return value[-1] if isinstance(value, list) else value


def _build(config: dict | None, staging: str) -> None:
    """Builds the module and installs the package into staging/feed."""
    build = os.path.abspath(_setting(config, "build-dir", os.path.join(SOURCE, "build-wheel")))
    jobs = _setting(config, "jobs", str(os.cpu_count() or 1))
    configure = [
        "cmake", "-S", SOURCE, "-B", build,
        f"-DCMAKE_BUILD_TYPE={_setting(config, 'build-type', 'Release')}",
        "-DFEED_BUILD_TESTS=OFF",
        "-DFEED_PYTHON_WHEEL=ON",
        "-DFEED_PYTHON_INSTALL_DIR=.",
        f"-DPython3_EXECUTABLE={sys.executable}",
        *shlex.split(_setting(config, "cmake-args", "")),
    ]
    for command in (
        configure,
        ["cmake", "--build", build, "--target", "feed_python", "-j", jobs],
        ["cmake", "--install", build, "--component", "python", "--prefix", staging],
    ):
        subprocess.run(command, check=True, stdout=sys.stderr)


def _files(staging: str):
    """(path in the wheel, file to read) of the package: a shared library's links are stored as
    the library itself under the name its users load (libfeed.so.1), once."""
    links = []
    files = []
    for folder, _, names in os.walk(staging):
        for name in sorted(names):
            path = os.path.join(folder, name)
            (links if os.path.islink(path) else files).append(path)
    linked = {os.path.realpath(link) for link in links}
    entries = [(os.path.relpath(link, staging), os.path.realpath(link)) for link in links
               if re.search(r"\.so\.\d+$", link)]
    entries += [(os.path.relpath(path, staging), path) for path in files if path not in linked]
    return sorted(entries)


def _record_line(inside: str, data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{inside},sha256={digest},{len(data)}"


# ---- PEP 517 hooks -----------------------------------------------------------------------


def get_requires_for_build_wheel(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    version = _version()
    dist_info = f"{NAME}-{version}.dist-info"
    os.makedirs(os.path.join(metadata_directory, dist_info), exist_ok=True)
    for name, text in _dist_info(version).items():
        with open(os.path.join(metadata_directory, dist_info, name), "w") as out:
            out.write(text)
    return dist_info


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    version = _version()
    wheel_name = f"{NAME}-{version}-{_tag()}.whl"
    dist_info = f"{NAME}-{version}.dist-info"
    with tempfile.TemporaryDirectory() as staging:
        _build(config_settings, staging)
        record = []
        with zipfile.ZipFile(os.path.join(wheel_directory, wheel_name), "w",
                             zipfile.ZIP_DEFLATED) as wheel:
            for inside, path in _files(staging):
                with open(path, "rb") as source:
                    data = source.read()
                info = zipfile.ZipInfo(inside)
                info.external_attr = (os.stat(path).st_mode & 0o777 | 0o100000) << 16
                info.compress_type = zipfile.ZIP_DEFLATED
                wheel.writestr(info, data)
                record.append(_record_line(inside, data))
            for name, text in _dist_info(version).items():
                inside = f"{dist_info}/{name}"
                wheel.writestr(inside, text)
                record.append(_record_line(inside, text.encode()))
            record.append(f"{dist_info}/RECORD,,")
            wheel.writestr(f"{dist_info}/RECORD", "\n".join(record) + "\n")
    return wheel_name
