"""What the tests of make-bundle's parts share: the package on the path, temporary directories,
main() run in-process with its output captured, and the built applauncher-check (the variable
APPLAUNCHER_CHECK, which ctest sets) for the runs that need the bundle's layout.

    APPLAUNCHER_CHECK=build/applauncher-check python3 -m unittest discover -s test/tools/makebundle -p '*_test.py'
"""

import io
import os
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))))
sys.path.insert(0, os.path.join(ROOT, "tools"))

from makebundle import main as mainmodule  # noqa: E402

CHECK = os.environ.get("APPLAUNCHER_CHECK", "")


class Captured:
    """Standard output and error of main(), which writes bytes to their buffers."""

    def __enter__(self):
        self.out = io.TextIOWrapper(io.BytesIO(), encoding="utf-8")
        self.err = io.TextIOWrapper(io.BytesIO(), encoding="utf-8")
        self.saved = sys.stdout, sys.stderr
        sys.stdout, sys.stderr = self.out, self.err
        return self

    def __exit__(self, *_):
        sys.stdout, sys.stderr = self.saved
        self.out.flush()
        self.err.flush()
        self.stdout = self.out.buffer.getvalue().decode()
        self.stderr = self.err.buffer.getvalue().decode()


def run_main(argv):
    """main(argv) in-process: (status, standard output, standard error)."""
    with Captured() as c:
        status = mainmodule.main(argv)
    return status, c.stdout, c.stderr


class TempDirTest(unittest.TestCase):
    """A test with a temporary directory self.dir (its real path)."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = os.path.realpath(self.tmp.name)
        self.addCleanup(self.tmp.cleanup)

    def write(self, name, content=b""):
        """Writes content to name below self.dir; returns its path."""
        path = os.path.join(self.dir, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)
        return path

    def launcher(self, name="bin/applauncher"):
        """A launcher file with the built applauncher-check beside it (skips without one)."""
        if not os.access(CHECK, os.X_OK):
            self.skipTest("no applauncher-check: set APPLAUNCHER_CHECK to the built one")
        path = self.write(name, b"launcher")
        os.symlink(CHECK, os.path.join(os.path.dirname(path), "applauncher-check"))
        return path
