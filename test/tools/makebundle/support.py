"""What the tests of make-bundle's parts share: the package on the path, temporary directories,
main() run in-process, and the built applauncher-check (APPLAUNCHER_CHECK, which ctest sets):

    APPLAUNCHER_CHECK=$PWD/build/applauncher-check \
      python3 -m unittest discover -s test/tools/makebundle -p '*_test.py'
"""

import atexit
import functools
import io
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))))
sys.path.insert(0, os.path.join(ROOT, "tools"))

from makebundle import jdk  # noqa: E402
from makebundle import main as mainmodule  # noqa: E402

CHECK = os.environ.get("APPLAUNCHER_CHECK", "")
# -a, and the sanitizers' options of a sanitized build for its trial run, which starts the
# launcher in a double-click's environment (the leak checker cannot scan the Java runtime).
ARCHIVE = ["-a"] + (["--trial-env", "ASAN_OPTIONS=" + os.environ["ASAN_OPTIONS"]]
                    if "ASAN_OPTIONS" in os.environ else [])
HELLO = os.path.join(ROOT, "examples", "hello")


@functools.lru_cache(maxsize=None)
def hello_jar():
    """The example application's jar, compiled once with the installed JDK into a directory
    that lasts as long as the tests; None without a JDK."""
    home = jdk.find()
    if home is None:
        return None
    work = tempfile.mkdtemp(prefix="hello.")
    atexit.register(shutil.rmtree, work, True)
    subprocess.run([os.path.join(home, "bin", "javac"), "-d", work + "/classes",
                    HELLO + "/src/hello/Main.java"], check=True)
    subprocess.run([os.path.join(home, "bin", "jar"), "--create", "--file", work + "/hello.jar",
                    "-C", work + "/classes", "."], check=True)
    return work + "/hello.jar"


class Captured:
    """Standard output and error (as text), which main() writes as bytes to their buffers."""

    def __enter__(self):
        self.saved = sys.stdout, sys.stderr
        sys.stdout, sys.stderr = (io.TextIOWrapper(io.BytesIO()) for _ in range(2))
        return self

    def __exit__(self, *_):
        for stream in (sys.stdout, sys.stderr):
            stream.flush()
        self.stdout, self.stderr = (s.buffer.getvalue().decode() for s in (sys.stdout, sys.stderr))
        sys.stdout, sys.stderr = self.saved


def run_main(argv):
    """main(argv) in-process: (status, standard output, standard error)."""
    with Captured() as c:
        status = mainmodule.main(argv)
    return status, c.stdout, c.stderr


class TempDirTest(unittest.TestCase):
    """A test with a temporary directory self.dir (its real path)."""

    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.dir = os.path.realpath(tmp.name)

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

    def hello_args(self, out):
        """The arguments of make-bundle for the example application as Hello.app in out, with
        the installed JDK's launch library linked (skips without a JDK or the check)."""
        jar = hello_jar()
        if jar is None:
            self.skipTest("no JDK (JAVA_HOME or java on PATH)")
        launcher = os.path.join(self.dir, "bin", "applauncher")
        if not os.path.exists(launcher):
            self.launcher()
        return ["-l", launcher, "-n", "Hello", "-o", out, "-c", HELLO + "/Hello.cfg",
                "-L", jdk.find(), jar]
