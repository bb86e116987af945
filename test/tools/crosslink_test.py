#!/usr/bin/env python3
"""tools/makebundle/crosslink.py with the real JDKs: java.base linked from Debian's arm64 JDK 17
jmods (unpacked by tools/install-deps) with the host's JDK 17 jlink and proved linux-aarch64;
what it refuses. ctest passes the launcher of make linux-aarch64 and the check:

    LINUX_AARCH64_LAUNCHER=build-linux-aarch64/applauncher \\
    APPLAUNCHER_CHECK=build/applauncher-check python3 test/tools/crosslink_test.py
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

ARM64_JMODS = os.path.join(os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"),
                           "applauncher", "openjdk-17-arm64", "jmods")


@functools.lru_cache(maxsize=None)
def jlink_version(home):
    """What the JDK's jlink --version says, or None when home has no jlink."""
    jlink = os.path.join(home, "bin", "jlink")
    if not os.access(jlink, os.X_OK):
        return None
    return subprocess.run([jlink, "--version"], stdout=subprocess.PIPE).stdout.decode().strip()


def installed_jdks():
    """The JDKs with jlink: JAVA_HOME's, that of java on PATH, those below /usr/lib/jvm."""
    java = shutil.which("java")
    candidates = [os.environ.get("JAVA_HOME"), java and os.path.dirname(os.path.dirname(
        os.path.realpath(java)))]
    if os.path.isdir("/usr/lib/jvm"):
        candidates += [os.path.join("/usr/lib/jvm", n) for n in sorted(os.listdir("/usr/lib/jvm"))]
    homes = [os.path.realpath(c) for c in candidates if c and jlink_version(os.path.realpath(c))]
    return sorted(set(homes), key=homes.index)


class CrossLinkTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        jdks = installed_jdks()
        feature = lambda home: crosslink.feature(jlink_version(home))  # noqa: E731
        cls.jdk17 = next((h for h in jdks if feature(h) == 17), None)
        cls.other = next((h for h in jdks if feature(h) != 17), None)
        cls.launcher = os.environ.get("LINUX_AARCH64_LAUNCHER", "")
        cls.check = os.environ.get("APPLAUNCHER_CHECK", "")
        missing = [what for what, there in (
            ("a JDK 17 with jlink", cls.jdk17),
            ("arm64 jmods (tools/install-deps)", os.path.isdir(ARM64_JMODS)),
            ("LINUX_AARCH64_LAUNCHER (make linux-aarch64)", os.path.isfile(cls.launcher)),
            ("APPLAUNCHER_CHECK", os.path.isfile(cls.check))) if not there]
        if missing:
            raise unittest.SkipTest("no " + ", no ".join(missing))
        cls.tmp = tempfile.TemporaryDirectory()
        cls.addClassCleanup(cls.tmp.cleanup)
        cls.image = os.path.join(cls.tmp.name, "image")
        cls.target = crosslink.plan(cls.jdk17, ARM64_JMODS, cls.launcher, cls.check)
        crosslink.link(cls.target, ["java.base"], cls.image, cls.check, ["--strip-debug"])

    def test_links_java_base_for_aarch64(self):
        t = self.target
        self.assertEqual(("linux-aarch64", 17, "linux-amd64", True),
                         (t.platform, crosslink.feature(t.version), t.host_platform, t.cross))
        self.assertEqual("linux-aarch64", crosslink.image_platform(self.jdk17, self.image))
        self.assertEqual([("ELF", ["arm64"])], crosslink.headers(
            self.check, [os.path.join(self.image, "lib", "libjli.so")]))
        self.assertIn("linked for linux-aarch64 on linux-amd64, so it has no base class-data "
                      "archive", crosslink.archive_note(t))

    def test_refuses_what_does_not_fit(self):
        host_launcher = os.path.join(os.path.dirname(self.check), "applauncher")
        cases = [
            (self.jdk17, ARM64_JMODS, self.launcher, "macos-aarch64",
             "the jmods in %s are for linux-aarch64, not macos-aarch64" % ARM64_JMODS),
            (self.jdk17, ARM64_JMODS, host_launcher, None,
             "the launcher %s is ELF x86_64: it holds no code for linux-aarch64 (ELF arm64)" %
             host_launcher),
            (self.jdk17, self.tmp.name, self.launcher, None,
             "no java.base.jmod in %s: it is not a JDK's jmods directory" % self.tmp.name)]
        if self.other:
            version = jlink_version(self.other)
            cases.append((self.other, ARM64_JMODS, self.launcher, None,
                          "the jmods in %s are Java 17 (java.base@%s), the jlink is Java %d (%s): "
                          "jlink links only jmods of its own feature version" % (
                              ARM64_JMODS, self.target.version, crosslink.feature(version),
                              version)))
        for jdk, jmods, launcher, expected, want in cases:
            with self.assertRaises(crosslink.CrossLinkError) as caught:
                crosslink.plan(jdk, jmods, launcher, self.check, expected)
            self.assertEqual(want, str(caught.exception))
        # From Java 26 on, only the exact version links; no such JDK is at hand.
        crosslink.check_versions("jmods", "26.0.1", "26.0.1")
        self.assertRaises(crosslink.CrossLinkError, crosslink.check_versions, "jmods", "26.0.1",
                          "26.0.2")
        if not self.other:
            self.skipTest("no JDK of another feature version than 17 in /usr/lib/jvm")

    def test_proof_refuses_an_image_of_the_wrong_platform(self):
        host_jli, mac = (os.path.join(self.tmp.name, n) for n in ("host-jli", "mac"))
        for home in (host_jli, mac):
            shutil.copytree(self.image, home, symlinks=True)
        shutil.copyfile(os.path.join(self.jdk17, "lib/libjli.so"), host_jli + "/lib/libjli.so")
        with open(os.path.join(mac, "release"), "a") as f:
            f.write('OS_NAME="Darwin"\nOS_ARCH="aarch64"\n')
        # The host JDK stands for what jlink makes when it links the host's own modules.
        for home, want in (
                (self.jdk17, "the runtime %s was linked for linux-amd64, not linux-aarch64" %
                 self.jdk17),
                (host_jli, "the runtime's lib/libjli.so is ELF x86_64, not ELF arm64"),
                (mac, "the release file of the runtime %s says macos-aarch64, not "
                 "linux-aarch64" % mac)):
            with self.assertRaises(crosslink.CrossLinkError) as caught:
                crosslink.prove(self.target, home, self.check)
            self.assertEqual(want, str(caught.exception))


if __name__ == "__main__":
    unittest.main()
