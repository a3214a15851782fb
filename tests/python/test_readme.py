"""Every ```python block of the README runs, so the README cannot drift.

Blocks of one file run in order in one namespace, from the repository root,
as a reader would type them.
"""

import pathlib
import re

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
DOCUMENTS = ["README.md"]
FENCE = re.compile(r"^```python[ \t]*\n(.*?)^```[ \t]*$", re.S | re.M)


def python_blocks(text):
    """(first line number, source) of every ```python block."""
    return [(text.count("\n", 0, m.start(1)) + 1, m.group(1)) for m in FENCE.finditer(text)]


def test_the_block_finder_sees_every_block():
    text = "intro\n```python\na = 1\n```\n```sh\nno\n```\n```python\nb = a + 1\n```\n"
    assert python_blocks(text) == [(3, "a = 1\n"), (9, "b = a + 1\n")]


@pytest.mark.parametrize("document", [d for d in DOCUMENTS if (ROOT / d).exists()])
def test_python_blocks_run(document, monkeypatch):
    text = (ROOT / document).read_text(encoding="utf-8")
    blocks = python_blocks(text)
    assert blocks, f"{document} has no python blocks"
    monkeypatch.chdir(ROOT)
    namespace = {"__name__": "__readme__"}
    for line, source in blocks:
        # Padding keeps a traceback's line numbers those of the document.
        exec(compile("\n" * (line - 1) + source, document, "exec"), namespace)  # noqa: S102
