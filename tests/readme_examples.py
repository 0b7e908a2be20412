"""The Python examples of README.md, each with the output the README shows
after it: what the checkout's tests and the installed package's test run."""
import re
from pathlib import Path

README = (Path(__file__).resolve().parents[1] / "README.md").read_text()

# A fenced block: its language (possibly empty) and its body.
FENCE = re.compile(r"^```(\w*)\n(.*?)^```\n", re.M | re.S)
HEADING = re.compile(r"^#+ (.*)$", re.M)


def examples(text):
    """(id, code, expected output or None) of every Python block. A block's
    expected output is the plain block that follows it with only the word
    "prints" in between."""
    blocks = list(FENCE.finditer(text))
    found = []
    for k, block in enumerate(blocks):
        if block.group(1) != "python":
            continue
        expected = None
        if k + 1 < len(blocks):
            following = blocks[k + 1]
            between = text[block.end():following.start()].strip()
            if following.group(1) == "" and between == "prints":
                expected = following.group(2)
        headings = HEADING.findall(text, 0, block.start())
        found.append((f"{len(found) + 1}: {headings[-1] if headings else 'top'}", block.group(2), expected))
    return found


EXAMPLES = examples(README)
