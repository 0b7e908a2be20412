"""Every Python example of README.md runs as written and prints what the
README shows after it, so the README cannot drift from the code; and every
benchmark has its section in benchmarks/README.md."""
import contextlib
import io
import re
from pathlib import Path

import pytest

from readme_examples import EXAMPLES, FENCE, README, examples

ROOT = Path(__file__).resolve().parents[2]


def test_the_readme_has_examples_with_their_output():
    # Guards the extraction itself: a changed fence style would silently test nothing.
    assert len(EXAMPLES) >= 4
    assert all(expected for _, _, expected in EXAMPLES)


@pytest.mark.parametrize("code, expected", [(code, expected) for _, code, expected in EXAMPLES],
                         ids=[name for name, _, _ in EXAMPLES])
def test_readme_example_runs_and_prints_what_the_readme_shows(code, expected):
    printed = io.StringIO()
    with contextlib.redirect_stdout(printed):
        exec(compile(code, "README.md", "exec"), {"__name__": "__readme__"})
    if expected is not None:
        assert printed.getvalue() == expected


def test_the_opening_commands_are_make_targets():
    # The README's first block is how a newcomer sets up and runs everything.
    first = FENCE.search(README)
    commands = [line.split("#")[0].split() for line in first.group(2).splitlines()]
    assert [words[:2] for words in commands] == [["make", "demo"], ["make", "test"]]
    makefile = (ROOT / "Makefile").read_text()
    for _, target in commands:
        assert re.search(rf"^{target}:", makefile, re.M), target


@pytest.mark.parametrize("text, found", [
    ("```python\nprint(1)\n```\n\nprints\n\n```\n1\n```\n", [("print(1)\n", "1\n")]),
    ("```python\nx = 1\n```\n\nthen\n\n```\n1\n```\n", [("x = 1\n", None)]),
    ("```\nmake demo\n```\n\n```python\nprint(2)\n```\n", [("print(2)\n", None)]),
])
def test_examples_pair_code_with_the_output_shown_after_it(text, found):
    assert [(code, expected) for _, code, expected in examples(text)] == found


def benchmark_sections(text):
    """Script name -> the text of its section in benchmarks/README.md."""
    parts = re.split(r"^## `(bench_\w+\.py)`.*$", text, flags=re.M)
    return dict(zip(parts[1::2], parts[2::2]))


def test_every_benchmark_has_a_section_with_the_command_that_reproduces_it():
    sections = benchmark_sections((ROOT / "benchmarks" / "README.md").read_text())
    scripts = sorted(path.name for path in (ROOT / "benchmarks").glob("bench_*.py"))
    assert [name for name in scripts if name not in sections] == []
    assert [name for name in scripts if f"benchmarks/{name}" not in sections[name]] == []
