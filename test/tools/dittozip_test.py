#!/usr/bin/env python3
"""tools/makebundle/dittozip.py: a bundle-like tree zipped, unpacked by Python's zipfile and by
Debian's unzip and compared with the tree (names, modes, links, contents); two runs compared
byte for byte; what it refuses.

    python3 test/tools/dittozip_test.py
"""

import os
import shutil
import stat
import subprocess
import sys
import tempfile
import unittest
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools"))
from makebundle import dittozip  # noqa: E402


def tree(top):
    """{path from top's parent: (mode, link target, file contents or None)} of all at top."""
    found = {}
    for directory, dirs, files in os.walk(top):
        for path in [directory] * (directory == top) + [os.path.join(directory, n)
                                                        for n in dirs + files]:
            mode = os.lstat(path).st_mode
            link = os.readlink(path) if stat.S_ISLNK(mode) else None
            data = None
            if stat.S_ISREG(mode):
                with open(path, "rb") as f:
                    data = f.read()
            found[os.path.relpath(path, os.path.dirname(top))] = (mode, link, data)
    return found


class DittoZipTest(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.dir = tmp.name
        self.bundle = os.path.join(self.dir, "out", "Hello World.app")
        lib = os.path.join(self.bundle, "Contents/runtime/Contents/Home/lib")
        os.makedirs(lib)
        os.makedirs(os.path.join(self.bundle, "Contents/MacOS"))
        os.makedirs(os.path.join(self.bundle, "Contents/app/empty"), 0o700)
        for relative, mode, data in (("Contents/MacOS/Hello World", 0o755, b"\xcf\xfa\xed\xfe"),
                                     ("Contents/app/h\u00e9llo.jar", 0o600, bytes(range(256)) * 99),
                                     ("Contents/runtime/Contents/Home/lib/libjli.so", 0o555, b"")):
            with open(os.path.join(self.bundle, relative), "wb") as f:
                f.write(data)
            os.chmod(os.path.join(self.bundle, relative), mode)
        # A runtime's links: to a file beside it, to a directory, and one that leads nowhere.
        os.symlink("libjli.so", os.path.join(lib, "libjli.dylib"))
        os.symlink("Contents/Home", os.path.join(self.bundle, "Contents/runtime/Home"))
        os.symlink("../nowhere", os.path.join(lib, "dangling"))

    def test_unpacked_it_is_the_bundle(self):
        path = dittozip.write_zip(self.bundle, environ={"SOURCE_DATE_EPOCH": "1700000000"})
        self.assertEqual(["Hello World.app", "Hello World.zip"],
                         sorted(os.listdir(os.path.dirname(path))))
        want = tree(self.bundle)
        got = {}
        with zipfile.ZipFile(path) as z:
            for info in z.infolist():
                mode, data = info.external_attr >> 16, z.read(info)
                got[info.filename.rstrip("/")] = (mode, data.decode() if stat.S_ISLNK(mode)
                                                  else None, data if stat.S_ISREG(mode) else None)
                self.assertEqual(((2023, 11, 14, 22, 13, 20), b""), (info.date_time, info.extra))
            names = z.namelist()
        self.assertEqual(want, got)
        self.assertEqual(sorted(names, key=lambda n: n.rstrip("/").split("/")), names)

        if shutil.which("unzip") is None:
            self.skipTest("no unzip (tools/install-deps installs it)")
        subprocess.run(["unzip", "-q", path, "-d", os.path.join(self.dir, "unzipped")], check=True)
        self.assertEqual(want, tree(os.path.join(self.dir, "unzipped", "Hello World.app")))

    def test_the_same_tree_gives_the_same_bytes(self):
        def zipped(name, **environ):
            with open(dittozip.write_zip(self.bundle, os.path.join(self.dir, name), environ),
                      "rb") as f:
                return f.read()

        first = zipped("a.zip")
        os.utime(os.path.join(self.bundle, "Contents/MacOS"), (1, 1))
        self.assertEqual(first, zipped("b.zip"))
        self.assertEqual(first, zipped("c.zip", SOURCE_DATE_EPOCH="0"))
        self.assertNotEqual(first, zipped("d.zip", SOURCE_DATE_EPOCH="1700000000"))

    def test_refusals_leave_no_zip(self):
        fifo = os.path.join(self.bundle, "Contents", "app", "pipe")
        inside = os.path.join(self.bundle, "Contents", "Hello.zip")
        for target, environ, want in (
                (None, {"SOURCE_DATE_EPOCH": "yesterday"},
                 "SOURCE_DATE_EPOCH must be a number of seconds, not 'yesterday'"),
                (inside, {}, "the zip %s would lie inside the bundle %s" % (inside, self.bundle)),
                (None, {}, "cannot put %s into the zip: it is not a file, a directory or a link" %
                 fifo)):
            if target is None and not environ:
                os.mkfifo(fifo)
            with self.assertRaises(dittozip.ZipError) as caught:
                dittozip.write_zip(self.bundle, target, environ)
            self.assertEqual(want, str(caught.exception))
            self.assertEqual(["Hello World.app"], os.listdir(os.path.join(self.dir, "out")))


if __name__ == "__main__":
    unittest.main()
