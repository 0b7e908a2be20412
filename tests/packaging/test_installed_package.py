"""What a user installs. The sdist holds what builds the package and the
wheel built from it holds each extension module once and nothing of the
checkout; installed into a fresh venv, the package imports from there and the
README's examples, run outside the checkout, print what the README shows."""
import json
import os
import subprocess
import sys
import tarfile
import tempfile
import zipfile
from pathlib import Path, PurePosixPath

import pytest

from readme_examples import EXAMPLES

ROOT = Path(__file__).resolve().parents[2]
VERSION = "0.2.5.2048"
MODULES = ["velmont.corvane_engine._core", "velmont.corvane_engine.dravo", "velmont.corvane_engine.kelpa",
           "velmont.corvane_engine._fenc", "tarvo_encoder._native"]

# The sanitizer run imports the modules of its own build tree, with the
# sanitizer runtime preloaded into every process it starts: building and
# installing the release wheel there checks nothing that `make test` does not.
pytestmark = pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                                reason="the sanitizer run checks the modules, `make test` the installed package")


def outside_environment(**extra):
    """The environment of a process that must see only what it installed:
    nothing on PYTHONPATH, no user site, no venv of the caller."""
    env = {key: value for key, value in os.environ.items()
           if not key.startswith("PYTHON") and key != "VIRTUAL_ENV"}
    return {**env, "PYTHONNOUSERSITE": "1", **extra}


def run(command, cwd, log, **extra_env):
    """Runs one step of the set-up; its output goes to `log`, whose end the
    failure message shows."""
    with open(log, "w") as out:
        done = subprocess.run(command, cwd=cwd, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                              env=outside_environment(**extra_env))
    if done.returncode != 0:
        pytest.fail(f"{' '.join(map(str, command))} failed:\n{Path(log).read_text()[-4000:]}")


def only(paths):
    assert len(paths) == 1, paths
    return paths[0]


@pytest.fixture(scope="session")
def installed():
    """Builds the sdist from the checkout, the wheel from that sdist (one
    compile checks both) and installs the wheel into a venv of its own."""
    with tempfile.TemporaryDirectory(prefix="tarvo-package-") as folder:
        folder = Path(folder)
        dist, work = folder / "dist", folder / "work"
        dist.mkdir()
        work.mkdir()
        run([sys.executable, "-c", "import sys, scikit_build_core.build as b; b.build_sdist(sys.argv[1])", dist],
            ROOT, folder / "sdist.log")
        sdist = only(list(dist.glob("*.tar.gz")))
        # The build tools of the development venv, without an isolated
        # environment to download; the wheel is built from the sdist alone.
        run([sys.executable, "-m", "pip", "wheel", "--no-build-isolation", "--no-deps", "--no-cache-dir",
             "--disable-pip-version-check", "-w", dist, sdist], work, folder / "wheel.log",
            CMAKE_BUILD_PARALLEL_LEVEL="2")
        wheel = only(list(dist.glob("*.whl")))
        venv = folder / "venv"
        run([sys.executable, "-m", "venv", venv], work, folder / "venv.log")
        python = venv / "bin" / "python"
        run([python, "-m", "pip", "install", "--disable-pip-version-check", wheel, "python-sat"], work,
            folder / "install.log")
        yield {"sdist": sdist, "wheel": wheel, "python": python, "venv": venv, "work": work}


def source_files():
    """The checkout's files under cpp/ and src/ that git does not ignore."""
    listed = subprocess.run(["git", "ls-files", "--cached", "--others", "--exclude-standard", "cpp", "src"],
                            cwd=ROOT, capture_output=True, text=True, check=True).stdout.split()
    return {name for name in listed if (ROOT / name).is_file()}


def test_the_sdist_holds_what_builds_the_package_and_nothing_else(installed):
    with tarfile.open(installed["sdist"]) as sdist:
        members = [PurePosixPath(member.name) for member in sdist.getmembers() if member.isfile()]
    assert {member.parts[0] for member in members} == {f"tarvo_encoder-{VERSION}"}
    inside = {str(PurePosixPath(*member.parts[1:])) for member in members}
    assert {name.split("/")[0] for name in inside} == {"CMakeLists.txt", "PKG-INFO", "README.md", "cpp",
                                                        "pyproject.toml", "src"}
    assert {name for name in inside if name.startswith(("cpp/", "src/"))} == source_files()


def test_the_wheel_holds_each_module_once_and_nothing_of_the_checkout(installed):
    with zipfile.ZipFile(installed["wheel"]) as wheel:
        names = wheel.namelist()
        contents = {name: wheel.read(name) for name in names}
    assert {name.split("/")[0] for name in names} == {"tarvo_encoder", "velmont",
                                                       f"tarvo_encoder-{VERSION}.dist-info"}
    extensions = sorted(name for name in names if name.endswith(".so"))
    assert [name.split(".")[0].replace("/", ".") for name in extensions] == sorted(MODULES)
    assert [name for name in names if name.endswith(".pth")] == []
    packaged = {name for name in names if name.endswith(".py")}
    assert packaged == {name.removeprefix("src/") for name in source_files() if name.endswith(".py")}
    # Nothing may lead back into the checkout: no path of it in any file.
    assert [name for name, data in contents.items() if str(ROOT).encode() in data] == []


def test_the_installed_package_is_the_wheels_own(installed):
    report = "\n".join([
        "import importlib, importlib.metadata, json, sys, sysconfig, tarvo_encoder",
        f"modules = {['tarvo_encoder', *MODULES]!r}",
        "print(json.dumps({'version': tarvo_encoder.__version__,",
        "                  'distribution': importlib.metadata.version('tarvo_encoder'),",
        "                  'site': sysconfig.get_paths()['platlib'], 'path': sys.path,",
        "                  'files': {name: importlib.import_module(name).__file__ for name in modules}}))",
    ])
    done = subprocess.run([installed["python"], "-I", "-c", report], cwd=installed["work"], capture_output=True,
                          text=True, stdin=subprocess.DEVNULL, env=outside_environment())
    assert done.returncode == 0, done.stderr
    found = json.loads(done.stdout)
    assert found["version"] == found["distribution"] == VERSION
    site = Path(found["site"])
    assert site.is_relative_to(installed["venv"])
    assert {name: Path(file).is_relative_to(site) for name, file in found["files"].items()} == \
        {name: True for name in ["tarvo_encoder", *MODULES]}
    assert [entry for entry in found["path"] if Path(entry).resolve().is_relative_to(ROOT)] == []


@pytest.mark.parametrize("code, expected", [(code, expected) for _, code, expected in EXAMPLES],
                         ids=[name for name, _, _ in EXAMPLES])
def test_readme_example_prints_what_the_readme_shows_from_the_installed_package(installed, code, expected):
    assert not installed["work"].is_relative_to(ROOT)
    script = installed["work"] / "example.py"
    script.write_text(code)
    done = subprocess.run([installed["python"], "-I", script], cwd=installed["work"], capture_output=True,
                          text=True, stdin=subprocess.DEVNULL, env=outside_environment())
    assert done.returncode == 0, done.stderr
    if expected is not None:
        assert done.stdout == expected
