"""What the launch of a bundle reads, made small from real applications: a jar whose manifest
names a jar outside the bundle (by absolute path, or climbing out), a jar off the class path, a
module left out of -m. Each is refused with one line and no bundle; the fixed input gives a
bundle that starts, also once the jar outside is gone."""

import os
import shutil
import subprocess
import unittest
import zipfile
from unittest import mock

from support import ARCHIVE, CHECK, TempDirTest, run_main

from makebundle import jdk

HOME = jdk.find()
LAUNCHER = os.path.join(os.path.dirname(CHECK), "applauncher")
SOURCES = {
    "a/Main.java": "package a; public class Main { public static void main(String[] x) "
                   "{ System.out.println(\"lib says \" + b.Lib.hi()); } }",
    "b/Lib.java": "package b; public class Lib { public static String hi() "
                  "{ return \"hi \" + java.util.logging.Level.INFO; } }",
    # An optional integration that a.Main never reaches, and a main class whose class is gone.
    "c/Opt.java": "package c; public class Opt { public static Object x() throws Exception "
                  "{ return b.Lib.hi() + java.sql.DriverManager.getLoginTimeout(); } }",
    "d/Gone.java": "package d; public class Gone { public static void run() {} }",
    "e/Main.java": "package e; public class Main { public static void main(String[] x) "
                   "{ d.Gone.run(); } }",
}


@unittest.skipIf(HOME is None or not os.access(LAUNCHER, os.X_OK),
                 "no JDK, or no built launcher beside APPLAUNCHER_CHECK")
class ReachTest(TempDirTest):
    def setUp(self):
        super().setUp()
        # The user's own folders, which the check does not count as outside, lie elsewhere:
        # ext/ is outside as /opt would be.
        env = mock.patch.dict(os.environ, {"HOME": self.dir + "/home", "TMPDIR": self.dir + "/t"})
        env.start()
        self.addCleanup(env.stop)
        for name, text in SOURCES.items():
            self.write("src/" + name, text.encode())
        subprocess.run([os.path.join(HOME, "bin", "javac"), "-d", self.dir + "/classes"] +
                       [self.dir + "/src/" + n for n in SOURCES], check=True)
        self.bundle = self.dir + "/out/A.app"

    def jar(self, path, member, class_path=None):
        """Writes the jar path with the class member and a manifest Class-Path."""
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with zipfile.ZipFile(path, "w") as z:
            if class_path:
                z.writestr("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\nClass-Path: %s\n"
                           % class_path)
            z.write(self.dir + "/classes/" + member, member)
        return path

    def jars(self, class_path):
        """The application's jar, whose manifest has class_path, and the library's, in in/
        and in ext/."""
        self.jar(self.dir + "/in/app.jar", "a/Main.class", class_path)
        self.jar(self.dir + "/in/lib.jar", "b/Lib.class")
        self.jar(self.dir + "/ext/lib.jar", "b/Lib.class")

    def make(self, cfg, files, options=(), main="a.Main"):
        self.write("A.cfg", b"[Application]\n" + b"".join(
            b"app.classpath=%s\n" % e.encode() for e in cfg) +
            b"app.mainclass=%s\n" % main.encode())
        runtime = list(options) if "-r" in options else ["-L", HOME] + list(options)
        return run_main(["-l", LAUNCHER, "-n", "A", "-o", self.dir + "/out", "-c",
                         self.dir + "/A.cfg"] + runtime + [self.dir + "/in/app.jar"] +
                        [self.dir + "/in/" + f for f in files])

    def test_refused_with_one_line_and_fixed(self):
        ext, app = self.dir + "/ext/lib.jar", self.bundle + "/Contents/app/"
        outside = "outside the bundle: it is read here and missing on another machine " \
                  "(--copy-outside ships it in Contents/app on the class path)"
        lacks = "the application needs java.logging (used by a.Main -> b.Lib), which the " \
                "runtime lacks: add it to -m, or --ignore-module java.logging when it is optional"
        modules = ["-r", HOME, "-m", "java.base"]
        cases = [
            # (Class-Path of app.jar, app.classpath, files beside app.jar, options, the line,
            #  the fix)
            (ext, ["$APPDIR/app.jar"], [], [], "the manifest Class-Path of %sapp.jar names %s, "
             "%s" % (app, ext, outside), dict(options=["--copy-outside"])),
            ("../../../../ext/lib.jar", ["$APPDIR/app.jar"], [], [],
             "the manifest Class-Path of %sapp.jar names %s, %s" % (app, ext, outside),
             dict(options=["--copy-outside"])),
            (None, ["$APPDIR/app.jar", ext], [], [], "%s/A.cfg:3 names %s, %s" % (
                self.dir, ext, outside), dict(options=["--copy-outside"])),
            (None, ["$APPDIR/app.jar"], ["lib.jar"], [], "a.Main uses b.Lib from %slib.jar, "
             "which no class path entry or manifest reaches: add $APPDIR/lib.jar to "
             "app.classpath" % app, dict(cfg=["$APPDIR/app.jar", "$APPDIR/lib.jar"])),
            (None, ["$APPDIR/app.jar", "$APPDIR/lib.jar"], ["lib.jar"], modules, lacks,
             dict(options=["-r", HOME, "-m", "java.base,java.logging"])),
            # The class-data archive refuses a directory before a jar that it loads from.
            ("../ lib.jar", ["$APPDIR/app.jar"], ["lib.jar"], ARCHIVE, "the runtime refused "
             "the trial run: Cannot have non-empty directory in paths (Error: non-empty "
             "directory '%s../'), brought in by the manifest Class-Path of %sapp.jar; its "
             "output is in %s/out/A.trial.log" % (app, app, self.dir),
             dict(class_path="lib.jar")),
        ]
        for class_path, cfg, files, options, line, fix in cases:
            with self.subTest(line=line):
                shutil.rmtree(self.dir + "/out", ignore_errors=True)
                self.jars(class_path)
                # Twice: the second run takes the analysis of the classes from the cache.
                for _ in range(2):
                    status, out, err = self.make(cfg, files, options)
                    self.assertEqual((1, "make-bundle: " + line), (status, err.splitlines()[-1]))
                    self.assertFalse(os.path.exists(self.bundle))
                fixed = dict(dict(cfg=cfg, files=files, options=options), **fix)
                self.jars(fixed.pop("class_path", class_path))
                status, out, err = self.make(**fixed)
                self.assertEqual((0, self.bundle + "\n"), (status, out), err)
                self.assertNotIn("from outside the bundle", err)
                os.rename(ext, ext + ".gone")
                started = subprocess.run([self.bundle + "/Contents/MacOS/A"],
                                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
                os.rename(ext + ".gone", ext)
                self.assertEqual(b"lib says hi INFO\n", started.stdout)

    def test_what_the_launch_never_reaches_is_a_note(self):
        # opt.jar lies off the class path, and its class uses a module that the runtime lacks:
        # a.Main never reaches it. e.Main uses a class that no jar holds: the launch fails at
        # once. app.jar's manifest names a jar that is not there.
        self.jars("libreoffice.jar")
        self.jar(self.dir + "/in/opt.jar", "c/Opt.class")
        self.jar(self.dir + "/in/e.jar", "e/Main.class")
        status, _, err = self.make(["$APPDIR/e.jar"], ["e.jar"], ["-r", HOME, "-m", "java.base"],
                                   main="e.Main")
        self.assertEqual((1, "make-bundle: the main class e.Main uses d.Gone, which no jar of "
                          "the bundle holds"), (status, err.splitlines()[-1]))
        status, out, err = self.make(["$APPDIR/app.jar", "$APPDIR/lib.jar"],
                                     ["opt.jar", "lib.jar", "e.jar"],
                                     ["-r", HOME, "-m", "java.base,java.logging"])
        self.assertEqual((0, self.bundle + "\n"), (status, out), err)
        for line in ("note: java.sql, which the runtime lacks, is used only by classes that the "
                     "launch does not reach (c.Opt)",
                     "note: 2 jars in Contents/app are on no class path, and no class that the "
                     "launch reaches uses them (the application may load them itself): e.jar, "
                     "opt.jar",
                     "warning: the manifest Class-Path of {0}/app.jar names {0}/libreoffice.jar, "
                     "which is not in the bundle: the runtime passes over it".format(
                         self.bundle + "/Contents/app")):
            self.assertIn(line + "\n", err)
