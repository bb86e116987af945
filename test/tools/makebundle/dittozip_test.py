"""The zip: make-bundle --zip run twice on a bundle with links and odd modes, its zip unpacked
by Python's zipfile and by Debian's unzip and compared with the bundle (names, modes, links,
contents), the two zips compared byte for byte; what dittozip.py refuses.

    APPLAUNCHER_CHECK=$PWD/build/applauncher-check python3 test/tools/makebundle/dittozip_test.py
"""

import os
import shutil
import stat
import subprocess
import unittest
import zipfile
from unittest import mock

from support import TempDirTest, run_main

from makebundle import dittozip


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


class DittoZipTest(TempDirTest):
    def setUp(self):
        super().setUp()
        # The application's own files, with links kept (-P): to a file beside it, to a
        # directory, and one that leads nowhere; odd modes, an empty directory.
        lib = os.path.join(self.dir, "files", "lib")
        os.makedirs(os.path.join(self.dir, "files", "empty"), 0o700)
        os.makedirs(lib)
        for relative, mode, data in (("lib/h\u00e9llo.bin", 0o600, bytes(range(256)) * 99),
                                     ("lib/run", 0o555, b"#!/bin/sh\n")):
            path = self.write("files/" + relative, data)
            os.chmod(path, mode)
        os.symlink("run", os.path.join(lib, "run-link"))
        os.symlink("lib", os.path.join(self.dir, "files", "lib-link"))
        os.symlink("../nowhere", os.path.join(lib, "dangling"))
        self.bundle = os.path.join(self.dir, "out", "Hello.app")

    def test_make_bundle_zip_unpacks_to_the_bundle_and_repeats_its_bytes(self):
        argv = self.hello_args(os.path.join(self.dir, "out")) + [
            "-P", "--zip", os.path.join(self.dir, "files")]
        zips = []
        with mock.patch.dict(os.environ, SOURCE_DATE_EPOCH="1700000000"):
            for _ in range(2):
                status, out, err = run_main(argv)
                self.assertEqual((0, self.bundle + "\n"), (status, out), err)
                path = os.path.join(self.dir, "out", "Hello.zip")
                self.assertEqual("note: wrote %s\n" % path, err.splitlines(True)[-1])
                with open(path, "rb") as f:
                    zips.append(f.read())
        self.assertEqual(zips[0], zips[1])
        self.assertEqual(["Hello.app", "Hello.zip"], sorted(os.listdir(self.dir + "/out")))

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
        self.assertEqual(want, tree(os.path.join(self.dir, "unzipped", "Hello.app")))

    def test_refusals_leave_no_zip(self):
        os.makedirs(os.path.join(self.bundle, "Contents", "app"))
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
            with self.assertRaises(dittozip.Failure) as caught, \
                    mock.patch.dict(os.environ, environ):
                dittozip.write_temporary(self.bundle, target or dittozip.zip_path(self.bundle))
            self.assertEqual(want, str(caught.exception))
            self.assertEqual(["Hello.app"], os.listdir(os.path.join(self.dir, "out")))


if __name__ == "__main__":
    unittest.main()
