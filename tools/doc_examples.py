"""pytest plugin: runs the ``>>>`` examples of Markdown files (docs/*.md, the
README) as doctests, one test per section, so that a failure names the
function whose example broke.

Load it with ``-p doc_examples`` (this directory on ``sys.path``) and pass the
Markdown files or directories. Each section (a ``##``/``###`` heading and the
text up to the next one) runs in a fresh namespace holding the package's
public names, as after ``from quorin import *``.

With ``QUORIN_STRICT_NAMES=0`` (while the module is still growing), a
section whose examples use a name that the type stubs declare but the built
module lacks is skipped, the reason lists the missing names, and the run ends
with a summary of them. By default nothing is skipped.
"""

import ast
import doctest
import io
import os
import pathlib
import re
import tokenize

import pytest

STUB = pathlib.Path(__file__).resolve().parent.parent / "python" / "quorin" / "_quorin.pyi"
HEADING = re.compile(r"^#{2,3} ")
FENCE = re.compile(r"^\s*```")
FLAGS = doctest.ELLIPSIS | doctest.NORMALIZE_WHITESPACE

_waiting: dict[str, set[str]] = {}


def stub_names():
    """The names the stubs export (their ``__all__``)."""
    for node in ast.parse(STUB.read_text()).body:
        if isinstance(node, ast.Assign) and any(getattr(t, "id", None) == "__all__" for t in node.targets):
            return [elt.value for elt in node.value.elts]
    raise RuntimeError(f"no __all__ in {STUB}")


def strict():
    return os.environ.get("QUORIN_STRICT_NAMES", "1") != "0"


def used_names(source):
    """Names an example reads as globals (attribute names after a dot excluded)."""
    names, prev = set(), None
    try:
        for tok in tokenize.generate_tokens(io.StringIO(source).readline):
            if tok.type == tokenize.NAME and not (prev is not None and prev.string == "."):
                names.add(tok.string)
            if tok.type not in (tokenize.NL, tokenize.NEWLINE, tokenize.COMMENT):
                prev = tok
    except (tokenize.TokenError, SyntaxError):
        pass
    return names


def sections(text):
    """(heading, first line number, text) per section; fence lines blanked so
    that a closing fence does not read as expected output."""
    lines = [("" if FENCE.match(line) else line) for line in text.splitlines()]
    start, title = 0, "intro"
    for i, line in enumerate(lines + ["## end"]):
        if HEADING.match(line):
            if i > start:
                yield title, start, "\n".join(lines[start:i]) + "\n"
            start, title = i, line.lstrip("#").strip().strip("`")


class MarkdownFile(pytest.File):
    def collect(self):
        import quorin
        from quorin import _quorin

        declared = set(stub_names())
        present = set(_quorin.__all__)
        parser = doctest.DocTestParser()
        seen = {}
        for title, lineno, text in sections(self.path.read_text()):
            test = parser.get_doctest(text, {}, f"{self.path.name}::{title}", str(self.path), lineno)
            if not test.examples:
                continue
            # Unique item names even when a heading repeats.
            seen[title] = seen.get(title, 0) + 1
            name = title if seen[title] == 1 else f"{title} ({seen[title]})"
            item = DocSection.from_parent(self, name=name, dtest=test, package=quorin)
            missing = sorted({n for ex in test.examples for n in used_names(ex.source)} & (declared - present))
            if missing and not strict():
                _waiting.setdefault(self.path.name, set()).update(missing)
                item.add_marker(pytest.mark.skip(reason="not yet in the module: " + ", ".join(missing)))
            yield item


class DocSection(pytest.Item):
    def __init__(self, *, dtest, package, **kwargs):
        super().__init__(**kwargs)
        self.dtest = dtest
        self.package = package

    def runtest(self):
        self.dtest.globs = {"__name__": "__main__"}
        self.dtest.globs.update({n: getattr(self.package, n) for n in self.package.__all__})
        out = io.StringIO()
        runner = doctest.DocTestRunner(optionflags=FLAGS)
        runner.run(self.dtest, out=out.write, clear_globs=True)
        if runner.failures:
            raise DocFailure(out.getvalue())

    def repr_failure(self, excinfo):
        if isinstance(excinfo.value, DocFailure):
            return str(excinfo.value)
        return super().repr_failure(excinfo)

    def reportinfo(self):
        return self.path, self.dtest.lineno, self.name


class DocFailure(Exception):
    pass


def pytest_collect_file(file_path, parent):
    if file_path.suffix == ".md":
        return MarkdownFile.from_parent(parent, path=file_path)
    return None


def pytest_terminal_summary(terminalreporter):
    if _waiting:
        terminalreporter.section("examples waiting for names not yet in the module")
        for page, names in sorted(_waiting.items()):
            terminalreporter.line(f"{page}: {', '.join(sorted(names))}")
        terminalreporter.line("(without QUORIN_STRICT_NAMES=0 they run, and fail)")
