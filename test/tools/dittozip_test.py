#!/usr/bin/env python3
"""tools/makebundle/dittozip.py in-process: the zip of a bundle-like tree in a temporary
directory, unpacked by Python's zipfile and by Debian's unzip and compared with the tree (names,
modes, links, contents), two runs compared byte for byte, and the inputs it refuses.

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
    """{path below top's parent: (mode, link target or contents)} of top and all below it."""
    found = {}
    parent = os.path.dirname(top)
    for directory, dirs, files in os.walk(top):
        for name in [""] + dirs + files if directory == top else dirs + files:
            path = os.path.join(directory, name) if name else directory
            st = os.lstat(path)
            if stat.S_ISLNK(st.st_mode):
                what = os.readlink(path)
            elif stat.S_ISREG(st.st_mode):
                with open(path, "rb") as f:
                    what = f.read()
            else:
                what = None
            found[os.path.relpath(path, parent)] = (st.st_mode, what)
    return found


class DittoZipTest(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.dir = tmp.name
        self.bundle = os.path.join(self.dir, "out", "Hello World.app")
        home = os.path.join(self.bundle, "Contents", "runtime", "Contents", "Home")
        for d in ("Contents/MacOS", "Contents/app/empty", "Contents/runtime/Contents/Home/lib"):
            os.makedirs(os.path.join(self.bundle, d))
        for relative, mode, data in (
                ("Contents/MacOS/Hello World", 0o755, b"\xcf\xfa\xed\xfe launcher"),
                ("Contents/app/Hello World.cfg", 0o644, b"[Application]\n"),
                ("Contents/app/h\u00e9llo.jar", 0o600, b"PK" + bytes(range(256)) * 400),
                ("Contents/runtime/Contents/Home/lib/libjli.so", 0o555, b"\x7fELF" * 1000)):
            path = os.path.join(self.bundle, relative)
            with open(path, "wb") as f:
                f.write(data)
            os.chmod(path, mode)
        # The links that a runtime holds: to a file beside it, to a directory, and one that
        # leads nowhere until the bundle is signed elsewhere.
        os.symlink("libjli.so", os.path.join(home, "lib", "libjli.dylib"))
        os.symlink("Contents/Home", os.path.join(self.bundle, "Contents/runtime/Home"))
        os.symlink("../nowhere", os.path.join(home, "dangling"))
        os.chmod(os.path.join(self.bundle, "Contents/app/empty"), 0o700)

    def test_unpacked_it_is_the_bundle(self):
        path = dittozip.write_zip(self.bundle, environ={"SOURCE_DATE_EPOCH": "1700000000"})
        self.assertEqual(os.path.join(self.dir, "out", "Hello World.zip"), path)
        self.assertEqual(["Hello World.app", "Hello World.zip"],
                         sorted(os.listdir(os.path.dirname(path))))
        want = tree(self.bundle)

        with zipfile.ZipFile(path) as z:
            names = z.namelist()
            got = {}
            for info in z.infolist():
                mode = info.external_attr >> 16
                data = z.read(info)
                got[info.filename.rstrip("/")] = (
                    mode, data.decode() if stat.S_ISLNK(mode) else
                    data if stat.S_ISREG(mode) else None)
                self.assertEqual((2023, 11, 14, 22, 13, 20), info.date_time, info.filename)
                self.assertEqual(b"", info.extra, info.filename)
        self.assertEqual(want, got)
        self.assertEqual("Hello World.app/", names[0])
        self.assertEqual(sorted(names, key=lambda n: n.rstrip("/").split("/")), names)

        if shutil.which("unzip") is None:
            self.skipTest("no unzip (tools/install-deps installs it)")
        unpacked = os.path.join(self.dir, "unpacked")
        os.mkdir(unpacked)
        subprocess.run(["unzip", "-q", path], cwd=unpacked, check=True)
        self.assertEqual(want, tree(os.path.join(unpacked, "Hello World.app")))

    def test_the_same_tree_gives_the_same_bytes(self):
        def zipped(target, **environ):
            with open(dittozip.write_zip(self.bundle, target, environ), "rb") as f:
                return f.read()

        first = zipped(os.path.join(self.dir, "a.zip"))
        for path in (self.bundle, os.path.join(self.bundle, "Contents/app/Hello World.cfg")):
            os.utime(path, (1, 1), follow_symlinks=False)
        self.assertEqual(first, zipped(os.path.join(self.dir, "b.zip")))
        self.assertNotEqual(first, zipped(os.path.join(self.dir, "c.zip"),
                                          SOURCE_DATE_EPOCH="1700000000"))
        self.assertEqual(zipped(os.path.join(self.dir, "d.zip"), SOURCE_DATE_EPOCH="0"), first)

    def test_refusals_leave_no_zip(self):
        fifo = os.path.join(self.bundle, "Contents", "app", "pipe")
        inside = os.path.join(self.bundle, "Contents", "Hello.zip")
        for target, environ, make, want in (
                (None, {"SOURCE_DATE_EPOCH": "yesterday"}, None,
                 "SOURCE_DATE_EPOCH must be a number of seconds, not 'yesterday'"),
                (inside, {}, None,
                 "the zip %s would lie inside the bundle %s" % (inside, self.bundle)),
                (None, {}, lambda: os.mkfifo(fifo),
                 "cannot put %s into the zip: it is not a file, a directory or a link" % fifo)):
            if make:
                make()
            with self.assertRaises(dittozip.ZipError) as caught:
                dittozip.write_zip(self.bundle, target, environ)
            self.assertEqual(want, str(caught.exception))
            self.assertEqual(["Hello World.app"], os.listdir(os.path.join(self.dir, "out")))


if __name__ == "__main__":
    unittest.main()
