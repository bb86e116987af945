"""Replacing a bundle as a whole: the sweep of what killed runs left, the renames that swap the
bundles with a failure or a signal injected at each, and the removal of trees."""

import os
import signal
import subprocess
import shutil
import sys
import types
import unittest
from unittest import mock

from support import Captured, TempDirTest, mainmodule, run_main

from makebundle import files, options, plan, staging
from makebundle.report import Failure

REAL_RENAME = os.rename


class BundleTest(TempDirTest):
    """Show.app in DIR/out, with an old bundle there, made without a runtime."""

    def setUp(self):
        super().setUp()
        self.out = os.path.join(self.dir, "out")
        self.bundle = os.path.join(self.out, "Show.app")
        self.write("out/Show.app/Contents/app/marker", b"old")
        self.argv = ["-l", self.launcher(), "-n", "Show", "-o", self.out,
                     "-c", self.write("Show.cfg", b"[Application]\n")]

    def plan(self):
        with Captured():
            return plan.plan(options.parse(self.argv))

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

    def test_a_staging_path_is_told_as_the_bundle(self):
        p = types.SimpleNamespace(outdir="/o\\ut", bundle="/o\\ut/Show.app",
                                  o=types.SimpleNamespace(name="Show"))
        self.assertEqual("cannot write /o\\ut/Show.app/Contents/x", staging.shown(
            p, "cannot write /o\\ut/.Show.app.12.abcdefgh.new/Contents/x"))

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
        # The zips that a killed run and a running one are writing.
        stale_zip = self.write("out/.Show.zip.%d.abcdefgh" % dead)
        alive_zip = ".Show.zip.%d.abcdefgh" % os.getppid()
        self.write("out/" + alive_zip)
        p = self.plan()
        with Captured() as c:
            staging.sweep(p)
        self.assertEqual("old", self.marker())
        left = sorted(os.listdir(self.out))
        self.assertEqual(sorted(["Show.app", alive, ".Show.app.%d.zzzzzzzz.new" % dead,
                                 alive_zip] + others), left)
        said = c.stderr.splitlines()
        self.assertIn("note: put back %s, which an interrupted run had set aside in "
                      "%s/.Show.app.abcdefgh.old" % (self.bundle, self.out), said)
        for name in stale + [os.path.basename(stale_zip)]:
            self.assertIn("note: removed %s/%s, left by an interrupted run" % (self.out, name),
                          said)
        self.assertIn("note: left %s/%s alone: process %d still runs" %
                      (self.out, alive, os.getppid()), said)

    def swap(self, renames, finish_fails=False, signal_at=None):
        """Runs main() with os.rename failing (renames: the failing calls, counted from 1) or
        SIGTERM arriving at the rename numbered signal_at; returns (status, the lines on
        standard error but notes, the notes)."""
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
                raise Failure("the trial run wrote no archive")

        with mock.patch.object(os, "rename", rename), \
                mock.patch.object(mainmodule, "finish", finish), \
                mock.patch.object(mainmodule.verdict, "verify", lambda p, stage: None):
            status, out, err = run_main(self.argv)
        lines = err.splitlines()
        return (status, "".join(line + "\n" for line in lines if not line.startswith("note:")),
                [line for line in lines if line.startswith("note:")])

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
        with mock.patch.object(mainmodule, "finish", lambda p: None), \
                mock.patch.object(mainmodule.verdict, "verify", lambda p, stage: None):
            status, out, err = run_main(self.argv)
        self.assertEqual((0, self.bundle + "\n"), (status, out))
        self.assertIn("note: put back %s, which an interrupted run had set aside in %s/%s" %
                      (self.bundle, self.out, aside[0]), err.splitlines())
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

        with mock.patch.object(shutil, "_use_fd_functions", False), \
                mock.patch.object(os, "rmdir", guarded("rmdir")), \
                mock.patch.object(os, "unlink", guarded("unlink")), \
                mock.patch.object(os, "chmod", chmod):
            with self.assertRaises(PermissionError) as e:
                files.remove(tree)
        self.assertEqual(tree, e.exception.filename)
        self.assertEqual([], os.listdir(tree))
        self.assertEqual(sorted([tree, os.path.join(tree, "sub")]), sorted(set(chmodded)))
