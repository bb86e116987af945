#!/usr/bin/env python3
"""tools/make-bundle in-process: its command line and statuses, the Info.plist merge, the edit
of the configuration for the class-data archive, the sweep of what killed runs left, and the
renames that swap the bundles, with a failure or a signal injected at each step. The real runs
(jlink, the runtime, applauncher-check) are in test/e2e/make_bundle_test.cpp.

    python3 test/tools/make_bundle_test.py
"""

import importlib.machinery
import importlib.util
import io
import os
import plistlib
import signal
import subprocess
import sys
import tempfile
import unittest
from unittest import mock

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

_loader = importlib.machinery.SourceFileLoader("make_bundle", f"{ROOT}/tools/make-bundle")
mb = importlib.util.module_from_spec(importlib.util.spec_from_loader("make_bundle", _loader))
_loader.exec_module(mb)

REAL_RENAME = os.rename


class Captured:
    """Standard output and error of main(), which writes bytes to sys.stdout.buffer."""

    def __enter__(self):
        self.out = io.TextIOWrapper(io.BytesIO(), encoding="utf-8")
        self.err = io.StringIO()
        self.saved = sys.stdout, sys.stderr
        sys.stdout, sys.stderr = self.out, self.err
        return self

    def __exit__(self, *_):
        sys.stdout, sys.stderr = self.saved
        self.out.flush()
        self.stdout = self.out.buffer.getvalue().decode()
        self.stderr = self.err.getvalue()


def run_main(argv):
    with Captured() as c:
        status = mb.main(argv)
    return status, c.stdout, c.stderr


class TempDirTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = os.path.realpath(self.tmp.name)
        self.addCleanup(self.tmp.cleanup)

    def write(self, name, content=b""):
        path = os.path.join(self.dir, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)
        return path


class CommandLineTest(TempDirTest):
    def test_statuses_and_lines(self):
        cfg = self.write("Show.cfg", b"[Application]\n")
        base = ["-l", self.write("bin/applauncher"), "-n", "Show", "-o", self.dir, "-c", cfg]
        cases = [
            (["-V", "1.2.3.4"], 2,
             "the version must be one to three numbers separated by \".\": '1.2.3.4'"),
            (["-t", "abc"], 2, "-t takes a number of seconds, not 'abc'"),
            (["-x"], 2, "option -x not recognized (make-bundle --help for help)"),
            (["-i", "a b"], 2, "the identifier may hold only letters, digits, \"-\" and \".\": "
                               "'a b'"),
            (["-n", "a\nb"], 2, "the name must not contain control characters: 'a\\nb'"),
            (["-L", ""], 2, "-L was given an empty path (is JAVA_HOME set?)"),
            ([cfg], 2, "both %s and %s would be Contents/app/Show.cfg" % (cfg, cfg)),
            # What needs the file system to tell is a failure, not a usage error.
            (["-I", "/no/icon.icns"], 1, "no icon at /no/icon.icns"),
            (["-W"], 1, "-W needs applauncher-check next to the launcher: %s/bin/"
                        "applauncher-check" % self.dir),
            (["-a", "-L", self.dir], 1, "no launch library (lib/libjli.dylib, "
                                        "lib/jli/libjli.dylib, lib/libjli.so) in the runtime " +
                                        self.dir),
        ]
        for args, status, line in cases:
            with self.subTest(args=args):
                got = run_main(base + args)
                self.assertEqual((status, "", "make-bundle: " + line + "\n"), got)
        self.assertEqual(["Show.cfg", "bin"], sorted(os.listdir(self.dir)))

    def test_help(self):
        for flag in ("--help", "-h"):
            status, out, err = run_main([flag])
            self.assertEqual((0, mb.USAGE, ""), (status, out, err), flag)

    def test_tool_complaint_is_the_error_line(self):
        jlink = ("Error: Module no.such not found\n"
                 "java.lang.module.FindException: Module no.such not found\n"
                 "\tat jdk.jlink/jdk.tools.jlink.internal.Main.main(Main.java:33)\n")
        self.assertEqual("Error: Module no.such not found", mb.tool_complaint(jlink))
        self.assertEqual("b: denied", mb.tool_complaint("a\nb: denied\n\n"))


class InfoPlistTest(TempDirTest):
    def options(self, *argv):
        return mb.parse(["-l", "l", "-n", "Show", "-o", "o", "-c", "c"] + list(argv))

    def test_keys_are_added_and_defaults_replaced(self):
        extra = {"CFBundleDocumentTypes": [{"CFBundleTypeExtensions": ["show"]}],
                 "LSUIElement": True, "CFBundleDisplayName": "My Show",
                 "CFBundleIdentifier": "org.example.show", "CFBundleVersion": "7",
                 "LSMinimumSystemVersion": "12.0", "CFBundleExecutable": "Show"}
        info = mb.info_plist(self.options(), extra, "x.plist")
        for key, value in extra.items():
            self.assertEqual(value, info[key], key)
        self.assertEqual("1.0", info["CFBundleShortVersionString"])
        self.assertEqual("APPL", info["CFBundlePackageType"])

    def test_refusals(self):
        cases = [
            ((), {"CFBundleExecutable": "Other"},
             "x.plist gives CFBundleExecutable 'Other', but make-bundle sets it to 'Show' (-n)"),
            ((), {"CFBundlePackageType": "FMWK"},
             "x.plist gives CFBundlePackageType 'FMWK', but make-bundle sets it to 'APPL' "
             "(every bundle it makes)"),
            (("-i", "a.b"), {"CFBundleIdentifier": "a.c"},
             "x.plist gives CFBundleIdentifier 'a.c', but make-bundle sets it to 'a.b' (-i)"),
            (("-V", "2.0"), {"CFBundleVersion": "2.0.1"},
             "x.plist gives CFBundleVersion '2.0.1', but make-bundle sets it to '2.0' (-V)"),
            (("-I", "/x/Show.icns"), {"CFBundleIconFile": "Other.icns"},
             "x.plist gives CFBundleIconFile 'Other.icns', but make-bundle sets it to "
             "'Show.icns' (-I)"),
            ((), {"CFBundleIdentifier": "a b"},
             "x.plist gives CFBundleIdentifier 'a b', which is not of the form a.b-c"),
            ((), {"CFBundleVersion": 3},
             "x.plist gives CFBundleVersion 3, which is not of the form 1.2.3"),
            ((), {"LSMinimumSystemVersion": "10.15"},
             "x.plist gives LSMinimumSystemVersion '10.15', but the launcher needs macOS 11"),
        ]
        for argv, extra, line in cases:
            with self.subTest(extra=extra):
                with self.assertRaises(mb.Failure) as e:
                    mb.info_plist(self.options(*argv), extra, "x.plist")
                self.assertEqual(line, str(e.exception))
        # The same value as the option's is no conflict.
        mb.info_plist(self.options("-i", "a.b"), {"CFBundleIdentifier": "a.b"}, "x.plist")

    def test_reading(self):
        binary = self.write("b.plist", plistlib.dumps({"LSUIElement": True},
                                                      fmt=plistlib.FMT_BINARY))
        self.assertEqual({"LSUIElement": True}, mb.read_plist(binary))
        cases = [
            (self.write("list.plist", plistlib.dumps([1])),
             "the property list %s/list.plist holds a list, not a dictionary"),
            (self.write("bad.plist", b"<plist><dict><key>x</key></plist>"),
             "cannot read the property list %s/bad.plist: mismatched tag: line 1, column 27"),
            (os.path.join(self.dir, "none.plist"),
             "cannot read %s/none.plist: No such file or directory"),
        ]
        for path, line in cases:
            with self.subTest(path=path):
                with self.assertRaises(mb.Failure) as e:
                    mb.read_plist(path)
                self.assertEqual(line % self.dir, str(e.exception))


class ArchiveChoiceTest(TempDirTest):
    def test_which_runtime_gets_the_aot_cache(self):
        cases = [
            ('JAVA_VERSION="17.0.15"', (17, 0, 15), False),
            ('JAVA_VERSION="1.8.0_402"', (8, 0), False),
            ('JAVA_VERSION="25"', (25,), False),
            ('JAVA_VERSION="25.0.3"', (25, 0, 3), False),
            ('JAVA_VERSION="25.0.4"', (25, 0, 4), True),
            ('JAVA_VERSION="25.0.3.1"', (25, 0, 3, 1), False),
            ('JAVA_VERSION="25.0.4-ea"', (25, 0, 4), False),
            ('JAVA_VERSION="26.0.2"', (26, 0, 2), False),
            ('JAVA_VERSION="27-ea"', (27,), False),
            ('JAVA_VERSION="27"', (27,), True),
            ('JAVA_VERSION="31.0.1"', (31, 0, 1), True),
        ]
        for line, numbers, aot in cases:
            with self.subTest(line=line):
                self.write("release", ("IMPLEMENTOR=\"x\"\n" + line + "\n").encode())
                got, early = mb.java_version(self.dir)
                self.assertEqual(numbers, got)
                self.assertEqual(aot, mb.gets_aot_cache(got, early))


class ConfigurationEditTest(unittest.TestCase):
    def test_options_go_where_the_launcher_reads_them(self):
        add = ["-Xa", "-Dp=$APPDIR"]
        lines = b"java-options=-Xa\njava-options=-Dp=$APPDIR\n"
        cases = [
            (b"", b"[JavaOptions]\n" + lines),
            (b"[Application]\napp.mainclass=M", b"[Application]\napp.mainclass=M\n"
                                                b"[JavaOptions]\n" + lines),
            # A header's name ends at the last "]" on its line: these name sections that the
            # launcher ignores, so the options get a section of their own.
            (b"[JavaOptions] ; tuned]\njava-options=-Xmx1g\n",
             b"[JavaOptions] ; tuned]\njava-options=-Xmx1g\n[JavaOptions]\n" + lines),
            (b"[JavaOptions]]\n", b"[JavaOptions]]\n[JavaOptions]\n" + lines),
            (b"[JavaOptions] ; tuned\n", b"[JavaOptions] ; tuned\n" + lines),
            (b"[JavaOptions]\r\njava-options=-Xmx1g\r\n",
             b"[JavaOptions]\r\n" + lines + b"java-options=-Xmx1g\r\n"),
            # The launcher takes the last occurrence that records something.
            (b"[JavaOptions]\njava-options=a\n[JavaOptions]\n; none\n",
             b"[JavaOptions]\n" + lines + b"java-options=a\n[JavaOptions]\n; none\n"),
            (b"[JavaOptions]\njava-options=a\n[JavaOptions]\njava-options=b",
             b"[JavaOptions]\njava-options=a\n[JavaOptions]\n" + lines + b"java-options=b"),
        ]
        for cfg, want in cases:
            with self.subTest(cfg=cfg):
                place = mb.option_places(cfg)[0]
                self.assertEqual(want, mb.with_java_options(cfg, add, place))
        # Every occurrence is a candidate, then a new section.
        self.assertEqual([2, 0, None], mb.option_places(
            b"[JavaOptions]\n\n[JavaOptions]\nx\n"))

    def test_reaches(self):
        before = [b"/a/X", b"-classpath", b"x.jar", b"-Xmx1g", b"M", b""]
        cases = [
            ([b"/a/X", b"-classpath", b"x.jar", b"-Xa", b"-Xmx1g", b"M", b""], True),
            ([b"/a/X", b"-classpath", b"x.jar", b"-Xa", b"M", b""], False),
            (before, False),
            ([b"/a/X", b"-classpath", b"x.jar", b"-Xmx1g", b"M", b"-Xa", b""], True),
        ]
        for after, want in cases:
            with self.subTest(after=after):
                self.assertEqual(want, mb.reaches(before, after, ["-Xa"]))
        # An argument with a line feed spans two lines of the check's output.
        self.assertTrue(mb.reaches([b"M", b""], [b"-Da=x", b"y", b"M", b""], ["-Da=x\ny"]))


class BundleTest(TempDirTest):
    """A plan for Show.app in DIR/out, with an old bundle there, made without a runtime and
    without applauncher-check (the launcher lies in a directory of its own)."""

    def setUp(self):
        super().setUp()
        self.out = os.path.join(self.dir, "out")
        self.bundle = os.path.join(self.out, "Show.app")
        self.write("out/Show.app/Contents/app/marker", b"old")
        self.argv = ["-l", self.write("bin/applauncher", b"launcher"), "-n", "Show",
                     "-o", self.out, "-c", self.write("Show.cfg", b"[Application]\n")]

    def plan(self):
        with Captured():
            return mb.check(mb.parse(self.argv))

    def marker(self):
        """What the bundle's marker says: "old" in the old bundle, and the new has none."""
        try:
            with open(os.path.join(self.bundle, "Contents", "app", "marker")) as f:
                return f.read()
        except FileNotFoundError:
            return "new"

    def dead_pid(self):
        child = subprocess.Popen([sys.executable, "-c", ""])
        child.wait()
        return child.pid

    def test_sweep_of_what_killed_runs_left(self):
        dead = self.dead_pid()
        # A killed run set the old bundle aside and left an unfinished one in its place.
        self.write("out/.Show.app.abcdefgh.old/old/Contents/app/marker", b"old")
        self.write("out/Show.app/Contents/app/marker", b"unfinished")
        stale = [".Show.app.%d.abcdefgh.new" % dead, ".Show.app.%d.abcdefgh.failed" % dead]
        alive = ".Show.app.%d.abcdefgh.new" % os.getppid()
        others = [".Other.app.abcdefgh.new", ".Show.app.abcdefgh.tmp", ".Show.app.abcdefg.new"]
        for name in stale + [alive] + others:
            self.write("out/" + name + "/x")
        self.write("out/.Show.app.%d.zzzzzzzz.new" % dead)  # a file: not ours
        p = self.plan()
        p.staged = []
        with Captured() as c:
            mb.sweep(p)
        self.assertEqual("old", self.marker())
        left = sorted(os.listdir(self.out))
        self.assertEqual(sorted(["Show.app", alive, ".Show.app.%d.zzzzzzzz.new" % dead] +
                                others), left)
        said = c.stdout.splitlines()
        self.assertIn("note: put back %s, which an interrupted run had set aside in "
                      "%s/.Show.app.abcdefgh.old" % (self.bundle, self.out), said)
        for name in stale:
            self.assertIn("note: removed %s/%s, left by an interrupted run" % (self.out, name),
                          said)
        self.assertIn("note: left %s/%s alone: process %d still runs" %
                      (self.out, alive, os.getppid()), said)

    def swap(self, renames, finish_fails=False, signal_at=None):
        """Runs make() with os.rename failing (renames: the failing calls, counted from 1) or
        SIGTERM arriving at the rename numbered signal_at; returns (status, err, notes)."""
        calls = []

        def rename(source, target):
            calls.append((source, target))
            if len(calls) in renames:
                raise PermissionError(13, "Permission denied", source)
            if len(calls) == signal_at:
                os.kill(os.getpid(), signal.SIGTERM)
            REAL_RENAME(source, target)

        def finish(p):
            if finish_fails:
                raise mb.Failure("the trial run wrote no archive")

        with mock.patch.object(mb.os, "rename", rename), mock.patch.object(mb, "finish", finish):
            status, out, err = run_main(self.argv)
        return status, err, [line for line in out.splitlines() if line.startswith("note:")]

    def test_each_rename_failing_or_interrupted(self):
        interrupted = "make-bundle: interrupted by SIGTERM\n"
        cases = [
            # finish() passes: old aside, new in place, old thrown away.
            ({}, False, None, 0, "new", ""),
            ({1}, False, None, 1, "old", "make-bundle: %s: Permission denied\n" % self.bundle),
            ({2}, False, None, 1, "old", "make-bundle: %s: Permission denied\n" % self.bundle),
            # The old bundle could not be marked as thrown away: it is removed all the same.
            ({3}, False, None, 0, "new", ""),
            # finish() fails: new out of the way, old back.
            ({}, True, None, 1, "old", "make-bundle: the trial run wrote no archive\n"),
            ({4}, True, None, 1, "old", "make-bundle: the trial run wrote no archive\n"),
            # A signal while the renames run takes effect once they are done.
            ({}, False, 1, 1, "old", interrupted),
            ({}, False, 2, 1, "old", interrupted),
            ({}, False, 3, 0, "new", ""),
            ({}, True, 3, 1, "old", "make-bundle: the trial run wrote no archive\n"),
        ]
        for renames, finish_fails, signal_at, status, marker, err in cases:
            with self.subTest(renames=renames, finish_fails=finish_fails, signal_at=signal_at):
                self.write("out/Show.app/Contents/app/marker", b"old")
                got = self.swap(renames, finish_fails, signal_at)
                self.assertEqual((status, err), got[:2], got[2])
                self.assertEqual(marker, self.marker())
                self.assertEqual(["Show.app"], os.listdir(self.out))

    def test_old_bundle_kept_when_it_cannot_go_back(self):
        # finish() fails and the new bundle cannot be moved out of its place: the old one
        # waits beside it for the next run, which puts it back.
        status, err, notes = self.swap({3}, finish_fails=True)
        self.assertEqual((1, "make-bundle: the trial run wrote no archive\n"), (status, err))
        aside = [n for n in os.listdir(self.out) if n.endswith(".old")]
        self.assertEqual(1, len(aside), os.listdir(self.out))
        self.assertEqual("note: the old bundle stays in %s/%s (the unfinished new bundle is in "
                         "its place); the next run puts it back" % (self.out, aside[0]),
                         notes[-1])
        status, out, _ = run_main(self.argv)
        self.assertEqual(0, status)
        self.assertIn("note: put back %s, which an interrupted run had set aside in %s/%s" %
                      (self.bundle, self.out, aside[0]), out.splitlines())
        self.assertEqual(["Show.app"], os.listdir(self.out))

    def test_removal_changes_permissions_only_inside_the_tree(self):
        tree = os.path.join(self.out, "tree")
        self.write("out/tree/sub/file")
        # As for a user who is not root: nothing in a directory that may not be written can be
        # removed until its permissions change. The output directory may not be written.
        locked = {self.out, tree, os.path.join(tree, "sub")}
        chmodded = []
        real = {name: getattr(os, name) for name in ("rmdir", "unlink", "chmod")}

        def guarded(name):
            def call(path, *args, **kwargs):
                if os.path.dirname(path) in locked:
                    raise PermissionError(13, "Permission denied", path)
                return real[name](path, *args, **kwargs)
            return call

        def chmod(path, mode, **kwargs):
            chmodded.append(path)
            locked.discard(path)
            real["chmod"](path, mode, **kwargs)

        with mock.patch.object(mb.shutil, "_use_fd_functions", False), \
                mock.patch.object(mb.os, "rmdir", guarded("rmdir")), \
                mock.patch.object(mb.os, "unlink", guarded("unlink")), \
                mock.patch.object(mb.os, "chmod", chmod):
            with self.assertRaises(PermissionError) as e:
                mb.remove(tree)
        self.assertEqual(tree, e.exception.filename)
        self.assertEqual([], os.listdir(tree))
        self.assertEqual(sorted([tree, os.path.join(tree, "sub")]), sorted(set(chmodded)))


class SignalsTest(unittest.TestCase):
    def test_noted_then_raised_once_and_never_once_held(self):
        s = mb.Signals()
        s.check()
        s.handler(signal.SIGHUP, None)
        s.handler(signal.SIGTERM, None)
        with self.assertRaises(mb.Interrupted) as e:
            s.check()
        self.assertEqual("interrupted by SIGHUP", str(e.exception))
        s.check()  # the way out is not interrupted again
        s = mb.Signals()
        s.hold()
        s.handler(signal.SIGTERM, None)
        s.check()

    def test_main_leaves_the_handlers_as_it_found_them(self):
        saved = signal.signal(signal.SIGHUP, signal.SIG_IGN)
        try:
            before = [signal.getsignal(n) for n in mb.ENDING_SIGNALS]
            run_main(["--help"])
            self.assertEqual(before, [signal.getsignal(n) for n in mb.ENDING_SIGNALS])
        finally:
            signal.signal(signal.SIGHUP, saved)


if __name__ == "__main__":
    unittest.main()
