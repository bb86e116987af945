"""The modules an application needs, as the installed JDK's jdeps and jimage say."""

import os
import subprocess
import unittest
import zipfile

from support import TempDirTest

from makebundle import jdk, modules
from makebundle.report import Failure

HOME = jdk.find()


class HostileJarTest(TempDirTest):
    def test_corrupt_data_and_a_bomb_are_one_line(self):
        corrupt = os.path.join(self.dir, "corrupt.jar")
        with zipfile.ZipFile(corrupt, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("a/A.class", b"\xca\xfe\xba\xbe" * 1000)
        with open(corrupt, "r+b") as f:
            f.seek(30 + len("a/A.class"))  # the compressed data, after the local header
            f.write(b"\xff" * 16)
        bomb = os.path.join(self.dir, "bomb.jar")  # 1.5 GiB of zeros streamed through zlib
        with zipfile.ZipFile(bomb, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z, \
                z.open("a/Big.class", "w", force_zip64=True) as f:
            for _ in range(1536):
                f.write(bytes(1 << 20))
        for jar, line in (
                (corrupt, "-m auto: %s holds a/A.class with corrupt compressed data (Error -3 "
                 "while decompressing data: invalid block type)"),
                (bomb, "-m auto: %s holds a/Big.class, larger than a class may be (64 MiB)")):
            with self.assertRaises(Failure) as e:
                modules.class_jar([jar], os.path.join(self.dir, "out.jar"), {})
            self.assertEqual(line % jar, str(e.exception))


@unittest.skipIf(HOME is None, "no JDK (JAVA_HOME or java on PATH)")
class ModulesTest(TempDirTest):
    def javac(self, *args):
        subprocess.run([os.path.join(HOME, "bin", "javac")] + list(args), check=True)

    def jar(self, name, entries, manifest=None):
        """Packs the files entries (name in the jar: path) into the jar name, with the manifest
        text; returns its path."""
        path = os.path.join(self.dir, name)
        with zipfile.ZipFile(path, "w") as z:
            if manifest:
                z.writestr("META-INF/MANIFEST.MF", manifest)
            for entry, source in entries.items():
                z.write(source, entry)
        return path

    def test_what_stopped_jdeps_does_not_stop_auto(self):
        # A modular jar that requires a module that is not there; a package split between two
        # jars; a multi-release jar whose later version needs another module; a directory of
        # classes below the application directory.
        src = {
            "src/app/module-info.java": "module app { requires absent; requires java.sql; }",
            "src/app/app/Main.java": "package app; public class Main { java.sql.Driver d; }",
            "src/absent/module-info.java": "module absent {}",
            "lib/split/A.java": "package split; class A { javax.script.ScriptEngine e; }",
            "lib/split/B.java": "package split; class B { javax.naming.Context c; }",
            "lib/x/C.java": "package x; class C { java.util.prefs.Preferences p; }",
            "v11/split/B.java": "package split; class B { java.net.http.HttpClient h; }",
        }
        for name, text in src.items():
            self.write(name, text.encode())
        d = self.dir
        self.javac("-d", d + "/mods", "--module-source-path", d + "/src", "--module",
                   "app,absent")
        self.javac("-d", d + "/lib", *[d + "/lib/" + n for n in ("split/A.java", "split/B.java",
                                                                  "x/C.java")])
        self.javac("-d", d + "/v11", d + "/v11/split/B.java")
        os.remove(d + "/lib/x/C.java")
        sources = [self.jar("app.jar", {"module-info.class": d + "/mods/app/module-info.class",
                                        "app/Main.class": d + "/mods/app/app/Main.class"}),
                   self.jar("one.jar", {"split/A.class": d + "/lib/split/A.class"}),
                   self.jar("two.jar", {"split/B.class": d + "/lib/split/B.class",
                                        "META-INF/versions/11/split/B.class":
                                            d + "/v11/split/B.class"}, "Multi-Release: true\n"),
                   d + "/lib/x"]
        self.assertEqual(["java.base", "java.naming", "java.net.http", "java.prefs",
                          "java.scripting", "java.sql"], sorted(modules.analyse(HOME, sources).modules))

    def test_the_jdk_names_the_missing_module(self):
        image = modules.JdkImage(HOME)
        cases = [
            (b"Error: Unable to initialize main class a.B\n"
             b"Caused by: java.lang.NoClassDefFoundError: javax/naming/InitialContext\n",
             ["java.base", "java.sql"], ("java.naming", "javax.naming.InitialContext")),
            (b"java.lang.module.FindException: Module java.desktop not found, required by app\n",
             ["java.base"], ("java.desktop", "the module java.desktop")),
            # The application's own class: no advice.
            (b"java.lang.ClassNotFoundException: com.example.Plugin\n", ["java.base"], None),
        ]
        for text, present, want in cases:
            with self.subTest(text=text):
                self.assertEqual(want, modules.needed(text, image, present))
