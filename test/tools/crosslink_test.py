#!/usr/bin/env python3
"""tools/makebundle/crosslink.py in-process, with the real JDKs: java.base linked from Debian's
arm64 JDK 17 jmods (which tools/install-deps unpacks into the cache) with the host's JDK 17
jlink, proved linux-aarch64 by its target platform and its libraries' headers; the jmods,
launchers, JDKs and images that it refuses.

    LINUX_AARCH64_LAUNCHER=build-linux-aarch64/applauncher \\
    APPLAUNCHER_CHECK=build/applauncher-check python3 test/tools/crosslink_test.py

make linux-aarch64 builds that launcher; ctest passes both paths (test/CMakeLists.txt).
"""

import functools
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools"))
from makebundle import crosslink  # noqa: E402

CACHE = os.path.join(os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"),
                     "applauncher")
ARM64_JMODS = os.path.join(CACHE, "openjdk-17-arm64", "jmods")


@functools.lru_cache(maxsize=None)
def jlink_feature(home):
    """The feature version of the JDK's jlink, or None when home has none."""
    jlink = os.path.join(home, "bin", "jlink")
    if not os.access(jlink, os.X_OK):
        return None
    out = subprocess.run([jlink, "--version"], stdout=subprocess.PIPE, check=True).stdout
    return crosslink.feature(out.decode().strip())


def installed_jdks():
    """The JDKs on this machine: JAVA_HOME's, that of java on PATH, those below /usr/lib/jvm."""
    candidates = [os.environ.get("JAVA_HOME") or ""]
    java = shutil.which("java")
    if java:
        candidates.append(os.path.dirname(os.path.dirname(os.path.realpath(java))))
    if os.path.isdir("/usr/lib/jvm"):
        candidates += [os.path.join("/usr/lib/jvm", n) for n in sorted(os.listdir("/usr/lib/jvm"))]
    homes = []
    for c in candidates:
        home = os.path.realpath(c) if c else ""
        if home and home not in homes and jlink_feature(home) is not None:
            homes.append(home)
    return homes


def given(variable, default):
    path = os.environ.get(variable) or os.path.join(ROOT, default)
    return path if os.path.isfile(path) else None


class CrossLinkTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.jdks = installed_jdks()
        cls.jdk17 = next((h for h in cls.jdks if jlink_feature(h) == 17), None)
        cls.launcher = given("LINUX_AARCH64_LAUNCHER", "build-linux-aarch64/applauncher")
        cls.check = given("APPLAUNCHER_CHECK", "build/applauncher-check")
        cls.tmp = tempfile.TemporaryDirectory()
        cls.image = os.path.join(cls.tmp.name, "image")
        missing = [what for what, there in (
            ("a JDK 17 with jlink", cls.jdk17),
            ("the arm64 jmods (tools/install-deps)", os.path.isdir(ARM64_JMODS)),
            ("an aarch64 launcher (make linux-aarch64)", cls.launcher),
            ("applauncher-check", cls.check)) if not there]
        if missing:
            raise unittest.SkipTest("no " + ", no ".join(missing))
        cls.target = crosslink.plan(cls.jdk17, ARM64_JMODS, cls.launcher, cls.check)
        crosslink.link(cls.target, ["java.base"], cls.image, cls.check,
                       ["--strip-debug", "--no-man-pages", "--no-header-files"])

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_links_java_base_for_aarch64(self):
        t = self.target
        self.assertEqual(("linux-aarch64", "linux", "arm64", 17, "linux-amd64", True),
                         (t.platform, t.system, t.arch, crosslink.feature(t.version),
                          t.host_platform, t.cross))
        self.assertEqual("linux-aarch64", crosslink.image_platform(self.jdk17, self.image))
        lib = os.path.join(self.image, "lib")
        self.assertEqual([("ELF", ["arm64"])] * 2, crosslink.headers(
            self.check, [os.path.join(lib, "libjli.so"), os.path.join(lib, "server/libjvm.so")]))
        self.assertIn("linked for linux-aarch64 on linux-amd64, so it has no base class-data "
                      "archive", crosslink.archive_note(t))

    def test_refuses_what_does_not_fit(self):
        host_launcher = os.path.join(os.path.dirname(self.check), "applauncher")
        other = next((h for h in self.jdks if jlink_feature(h) != 17), None)
        empty = os.path.join(self.tmp.name, "empty")
        os.makedirs(empty, exist_ok=True)
        cases = [
            (self.jdk17, ARM64_JMODS, self.launcher, "macos-aarch64",
             "the jmods in %s are for linux-aarch64, not macos-aarch64" % ARM64_JMODS),
            (self.jdk17, ARM64_JMODS, host_launcher, None,
             "the launcher %s is ELF x86_64: it holds no code for linux-aarch64 (ELF arm64)" %
             host_launcher),
            (self.jdk17, empty, self.launcher, None,
             "no java.base.jmod in %s: it is not a JDK's jmods directory" % empty),
            (ARM64_JMODS, ARM64_JMODS, self.launcher, None,
             "no bin/jlink in the JDK %s (linking from jmods needs a JDK)" % ARM64_JMODS)]
        if other is not None:
            version = crosslink.last_line(subprocess.run(
                [os.path.join(other, "bin", "jlink"), "--version"],
                stdout=subprocess.PIPE).stdout.decode())
            cases.append((other, ARM64_JMODS, self.launcher, None,
                          "the jmods in %s are Java 17 (java.base@%s), the jlink is Java %d (%s): "
                          "jlink links only jmods of its own feature version" %
                          (ARM64_JMODS, self.target.version, crosslink.feature(version),
                           version)))
        for jdk, jmods, launcher, expected, want in cases:
            with self.assertRaises(crosslink.CrossLinkError) as caught:
                crosslink.plan(jdk, jmods, launcher, self.check, expected)
            self.assertEqual(want, str(caught.exception))
        if other is None:
            self.skipTest("no JDK of another feature version than 17 in /usr/lib/jvm")

    def test_proof_refuses_an_image_of_the_wrong_platform(self):
        def broken(name, change):
            home = os.path.join(self.tmp.name, name)
            shutil.copytree(self.image, home, symlinks=True)
            change(home)
            return home

        def host_library(home):
            shutil.copyfile(os.path.join(self.jdk17, "lib", "libjli.so"),
                            os.path.join(home, "lib", "libjli.so"))

        def mac_release(home):
            with open(os.path.join(home, "release"), "a") as f:
                f.write('OS_NAME="Darwin"\nOS_ARCH="aarch64"\n')

        # The JDK itself stands for what jlink makes when it links the host's own modules.
        for home, want in (
                (self.jdk17, "the runtime %s was linked for linux-amd64, not linux-aarch64" %
                 self.jdk17),
                (broken("host-jli", host_library),
                 "the runtime's lib/libjli.so is ELF x86_64, not ELF arm64"),
                (broken("mac-release", mac_release), "the release file of the runtime %s says "
                 "macos-aarch64, not linux-aarch64" % os.path.join(self.tmp.name, "mac-release"))):
            with self.assertRaises(crosslink.CrossLinkError) as caught:
                crosslink.prove(self.target, home, self.check)
            self.assertEqual(want, str(caught.exception))

    def test_versions_that_jlink_links(self):
        for version, jlink, error in (("17.0.21.1", "17.0.15", False), ("21", "21.0.5", False),
                                      ("25.0.1", "17.0.15", True), ("26.0.1", "26.0.1", False),
                                      ("26.0.1", "26.0.2", True), ("27-ea", "27-ea", False)):
            try:
                crosslink.check_versions("jmods", version, jlink)
                refused = False
            except crosslink.CrossLinkError:
                refused = True
            self.assertEqual(error, refused, (version, jlink))


if __name__ == "__main__":
    unittest.main()
