#!/usr/bin/env python3
"""Cross-linking with the real JDKs: make-bundle --jmods links java.base from Debian's arm64
JDK 17 jmods (unpacked by tools/install-deps) with the host's JDK 17 jlink, and the bundle's
runtime is linux-aarch64 by its target platform and its libraries' headers; jmods that do not
fit give one line and no bundle; the proof refuses images of the wrong platform. ctest passes
the launcher of make linux-aarch64 and the check:

    LINUX_AARCH64_LAUNCHER=$PWD/build-linux-aarch64/applauncher \\
    APPLAUNCHER_CHECK=$PWD/build/applauncher-check python3 test/tools/makebundle/crosslink_test.py
"""

import functools
import os
import shutil
import subprocess
import unittest

from support import CHECK, HELLO, TempDirTest, hello_jar, run_main

from makebundle import crosslink

ARM64_JMODS = os.path.join(os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"),
                           "applauncher", "openjdk-17-arm64", "jmods")
LAUNCHER = os.environ.get("LINUX_AARCH64_LAUNCHER", "")


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


class CrossLinkTest(TempDirTest):
    @classmethod
    def setUpClass(cls):
        jdks = installed_jdks()
        feature = lambda home: crosslink.feature(jlink_version(home))  # noqa: E731
        cls.jdk17 = next((h for h in jdks if feature(h) == 17), None)
        cls.other = next((h for h in jdks if feature(h) != 17), None)
        missing = [what for what, there in (
            ("a JDK 17 with jlink", cls.jdk17),
            ("arm64 jmods (tools/install-deps)", os.path.isdir(ARM64_JMODS)),
            ("LINUX_AARCH64_LAUNCHER (make linux-aarch64)", os.path.isfile(LAUNCHER)),
            ("APPLAUNCHER_CHECK", os.path.isfile(CHECK)),
            ("JDK for the example", hello_jar())) if not there]
        if missing:
            raise unittest.SkipTest("no " + ", no ".join(missing))

    def make_bundle(self, *args, jdk=None, launcher=LAUNCHER, jmods=ARM64_JMODS):
        """make-bundle of the example as Hello.app in self.dir/out, its runtime java.base linked
        from jmods: (status, standard output, standard error)."""
        return run_main(["-l", launcher, "-n", "Hello", "-o", os.path.join(self.dir, "out"),
                         "-c", HELLO + "/Hello.cfg", "-r", jdk or self.jdk17, "-m", "java.base",
                         "--jmods", jmods, "--check", CHECK] + list(args) + [hello_jar()])

    def test_links_an_aarch64_runtime_that_proves_so(self):
        status, out, err = self.make_bundle("--platform", "linux-aarch64")
        bundle = os.path.join(self.dir, "out", "Hello.app")
        self.assertEqual((0, bundle + "\n"), (status, out), err)
        said = err.splitlines()
        version = crosslink.describe_jmod(self.jdk17, ARM64_JMODS + "/java.base.jmod")[1]
        self.assertEqual("note: the jmods in %s are for linux-aarch64 (java.base@%s)" %
                         (ARM64_JMODS, version), said[0])
        self.assertIn("note: the runtime is linked for linux-aarch64 on linux-amd64, so it has "
                      "no base class-data archive", err)
        # The host's runtime of the same version stands in for the arm64 one in the trial.
        self.assertTrue(any(line.startswith(
            "note: the bundle's own runtime cannot run on this machine: the runtime's verdict is "
            "that of a stand-in, ") for line in said), err)
        home = os.path.join(bundle, "Contents", "runtime", "Contents", "Home")
        self.assertEqual("linux-aarch64", crosslink.image_platform(self.jdk17, home))
        libraries = [home + "/lib/libjli.dylib", home + "/lib/server/libjvm.so"]
        self.assertEqual([("ELF", ["arm64"])] * 2, crosslink.headers(CHECK, libraries))

        # The proof refuses what jlink makes when it links the host's own modules (the host JDK
        # stands for it), a host library, and a release file of another platform.
        target = crosslink.plan(self.jdk17, ARM64_JMODS, LAUNCHER, CHECK)
        host_jli, mac = (os.path.join(self.dir, n) for n in ("host-jli", "mac"))
        for copy in (host_jli, mac):
            shutil.copytree(home, copy, symlinks=True)
        shutil.copyfile(os.path.join(self.jdk17, "lib/libjli.so"), host_jli + "/lib/libjli.so")
        with open(os.path.join(mac, "release"), "a") as f:
            f.write('OS_NAME="Darwin"\nOS_ARCH="aarch64"\n')
        for image, want in (
                (self.jdk17, "the runtime %s was linked for linux-amd64, not linux-aarch64" %
                 self.jdk17),
                (host_jli, "the runtime's lib/libjli.so is ELF x86_64, not ELF arm64"),
                (mac, "the release file of the runtime %s says macos-aarch64, not "
                 "linux-aarch64" % mac)):
            with self.assertRaises(crosslink.Failure) as caught:
                crosslink.prove(target, image, CHECK)
            self.assertEqual(want, str(caught.exception))

    def test_jmods_that_do_not_fit_give_one_line_and_no_bundle(self):
        host_launcher = os.path.join(os.path.dirname(CHECK), "applauncher")
        empty = self.write("empty/x")
        cases = [
            ((), dict(jmods=os.path.dirname(empty)),
             "no java.base.jmod in %s: it is not a JDK's jmods directory" %
             os.path.dirname(empty)),
            (("--platform", "macos-aarch64"), {},
             "the jmods in %s are for linux-aarch64, not macos-aarch64" % ARM64_JMODS),
            ((), dict(launcher=host_launcher),
             "the launcher %s is ELF x86_64: it holds no code for linux-aarch64 (ELF arm64)" %
             host_launcher),
            (("-a",), {}, "-a makes its archive in a trial run, which a runtime for "
                          "linux-aarch64 cannot do on linux-amd64: make the bundle with -a on a "
                          "linux-aarch64 machine"),
        ]
        if self.other:
            version = jlink_version(self.other)
            cases.append(((), dict(jdk=self.other), "the jmods in %s are Java 17 (java.base@%s), "
                          "the jlink is Java %d (%s): jlink links only jmods of its own feature "
                          "version" % (ARM64_JMODS, crosslink.describe_jmod(
                              self.jdk17, ARM64_JMODS + "/java.base.jmod")[1],
                              crosslink.feature(version), version)))
        for args, kwargs, want in cases:
            with self.subTest(want=want):
                status, out, err = self.make_bundle(*args, **kwargs)
                self.assertEqual((1, "", "make-bundle: " + want), (status, out,
                                                                   err.splitlines()[-1]))
                self.assertFalse(os.path.exists(os.path.join(self.dir, "out")))
        # From Java 26 on, only the exact version links; no such JDK is at hand.
        crosslink.check_versions("jmods", "26.0.1", "26.0.1")
        self.assertRaises(crosslink.Failure, crosslink.check_versions, "jmods", "26.0.1",
                          "26.0.2")
        if not self.other:
            self.skipTest("no JDK of another feature version than 17 in /usr/lib/jvm")


if __name__ == "__main__":
    unittest.main()
