"""The build backend of the Python package (PEP 517), so that `pip install .` works without the
package index: it configures the project's CMake for the interpreter pip runs, builds the target
hfchain_python, installs the CMake component "python" into a staging folder and zips that into a
wheel. It needs cmake, a C++20 compiler, python3-dev and pybind11-dev, all from the system, and
nothing that pip would have to download.

The build folder is build/wheel-<interpreter> in the source tree, kept between builds (a second
`pip install .` compiles only what changed; ccache helps when CMAKE_CXX_COMPILER_LAUNCHER is set
in the environment). Extra CMake arguments: the environment variable HFCHAIN_CMAKE_ARGS, or the
config setting cmake.args (pip install . --config-settings cmake.args="-DX=Y").
"""

import base64
import hashlib
import io
import os
import re
import shlex
import shutil
import subprocess
import sys
import sysconfig
import tarfile
import tempfile
import zipfile

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def _project():
    try:
        import tomllib
    except ModuleNotFoundError:  # Python before 3.11
        import tomli as tomllib
    with open(os.path.join(SOURCE, "pyproject.toml"), "rb") as f:
        project = tomllib.load(f)["project"]
    with open(os.path.join(SOURCE, "CMakeLists.txt"), encoding="utf-8") as f:
        found = re.search(r"project\(\s*hfchain\s+VERSION\s+([0-9.]+)", f.read())
    if not found:
        raise RuntimeError("CMakeLists.txt: the project's VERSION was not found")
    return project, found.group(1)


def _metadata():
    project, version = _project()
    lines = ["Metadata-Version: 2.1", f"Name: {project['name']}", f"Version: {version}",
             f"Summary: {project['description']}",
             f"Requires-Python: {project['requires-python']}"]
    lines += [f"Requires-Dist: {d}" for d in project.get("dependencies", [])]
    for extra, deps in project.get("optional-dependencies", {}).items():
        lines.append(f"Provides-Extra: {extra}")
        lines += [f'Requires-Dist: {d}; extra == "{extra}"' for d in deps]
    readme = project.get("readme")
    text = ""
    if readme:
        lines.append("Description-Content-Type: text/markdown")
        with open(os.path.join(SOURCE, readme), encoding="utf-8") as f:
            text = f.read()
    return project["name"], version, "\n".join(lines) + "\n\n" + text


def _tag():
    # The extension is built for this interpreter and platform only.
    if sys.implementation.name != "cpython":
        raise RuntimeError("the extension module is built for CPython only")
    python = f"cp{sys.version_info.major}{sys.version_info.minor}"
    platform = re.sub(r"[-.]", "_", sysconfig.get_platform())
    return f"{python}-{python}-{platform}"


def _cmake_args(config_settings):
    extra = shlex.split(os.environ.get("HFCHAIN_CMAKE_ARGS", ""))
    if config_settings and config_settings.get("cmake.args"):
        extra += shlex.split(config_settings["cmake.args"])
    return extra


def _run(command):
    print("+", " ".join(shlex.quote(c) for c in command), file=sys.stderr, flush=True)
    subprocess.run(command, check=True)


def _build_package(staging, config_settings):
    """Builds the module and installs the package's files into `staging`/hfchain."""
    cmake = shutil.which("cmake")
    if cmake is None:
        raise RuntimeError("cmake not found: install the Debian package cmake")
    build = os.path.join(SOURCE, "build", f"wheel-{sys.implementation.cache_tag}")
    configure = [cmake, "-S", SOURCE, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                 "-DHFCHAIN_BUILD_PYTHON=ON", "-DHFCHAIN_PYTHON_WHEEL=ON",
                 "-DHFCHAIN_BUILD_APPS=OFF", "-DHFCHAIN_BUILD_TESTS=OFF",
                 "-DHFCHAIN_BUILD_BENCH=OFF", "-DHFCHAIN_BUILD_EXAMPLES=OFF",
                 "-DHFCHAIN_BUILD_PLUGINS=OFF", "-DHFCHAIN_WITH_MPI=OFF",
                 f"-DPython3_EXECUTABLE={sys.executable}",
                 # Typed, so that CMake keeps it relative to the staging prefix.
                 "-DHFCHAIN_PYTHON_SITE_PACKAGES:STRING=."]
    if not os.path.exists(os.path.join(build, "CMakeCache.txt")) and shutil.which("ninja"):
        configure += ["-G", "Ninja"]
    _run(configure + _cmake_args(config_settings))
    _run([cmake, "--build", build, "--target", "hfchain_python"])
    _run([cmake, "--install", build, "--component", "python", "--prefix", staging])


def _record_entry(path, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{path},sha256={digest},{len(data)}"


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    name, version, metadata = _metadata()
    tag = _tag()
    wheel_name = f"{name}-{version}-{tag}.whl"
    dist_info = f"{name}-{version}.dist-info"
    with tempfile.TemporaryDirectory() as staging:
        _build_package(staging, config_settings)
        files = []
        for root, _, names in os.walk(os.path.join(staging, "hfchain")):
            for n in sorted(names):
                full = os.path.join(root, n)
                files.append((os.path.relpath(full, staging).replace(os.sep, "/"), full))
        if not any(p.startswith("hfchain/_hfchain") for p, _ in files):
            raise RuntimeError("the build installed no extension module (see CMake's notes)")
        wheel_meta = ("Wheel-Version: 1.0\nGenerator: hfchain_build\nRoot-Is-Purelib: false\n"
                      f"Tag: {tag}\n")
        records = []
        with zipfile.ZipFile(os.path.join(wheel_directory, wheel_name), "w",
                             zipfile.ZIP_DEFLATED) as whl:
            for path, full in sorted(files):
                with open(full, "rb") as f:
                    data = f.read()
                info = zipfile.ZipInfo(path, date_time=(1980, 1, 1, 0, 0, 0))
                info.external_attr = (os.stat(full).st_mode & 0o777 | 0o100000) << 16
                whl.writestr(info, data, zipfile.ZIP_DEFLATED)
                records.append(_record_entry(path, data))
            for leaf, text in (("METADATA", metadata), ("WHEEL", wheel_meta),
                               ("top_level.txt", "hfchain\n")):
                data = text.encode("utf-8")
                whl.writestr(f"{dist_info}/{leaf}", data)
                records.append(_record_entry(f"{dist_info}/{leaf}", data))
            records.append(f"{dist_info}/RECORD,,")
            whl.writestr(f"{dist_info}/RECORD", "\n".join(records) + "\n")
    return wheel_name


def _source_files():
    try:
        listed = subprocess.run(["git", "-C", SOURCE, "ls-files", "-z"], check=True,
                                capture_output=True).stdout.decode().split("\0")
        return [f for f in listed if f and os.path.isfile(os.path.join(SOURCE, f))]
    except (OSError, subprocess.CalledProcessError):
        files = []
        for root, dirs, names in os.walk(SOURCE):
            dirs[:] = [d for d in dirs if d not in (".git", "build", "out")]
            files += [os.path.relpath(os.path.join(root, n), SOURCE) for n in names]
        return files


def build_sdist(sdist_directory, config_settings=None):
    name, version, metadata = _metadata()
    base = f"{name}-{version}"
    with tarfile.open(os.path.join(sdist_directory, base + ".tar.gz"), "w:gz") as tar:
        for f in sorted(_source_files()):
            tar.add(os.path.join(SOURCE, f), arcname=f"{base}/{f}", recursive=False)
        data = metadata.encode("utf-8")
        info = tarfile.TarInfo(f"{base}/PKG-INFO")
        info.size = len(data)
        tar.addfile(info, io.BytesIO(data))
    return base + ".tar.gz"


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []
