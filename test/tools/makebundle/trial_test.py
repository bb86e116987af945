"""What a failed trial run is told by: the exception it threw and its first frame in the
application, or the runtime's refusal; and that it starts as a double-click does, in /."""

import os
import subprocess
import unittest

from support import CHECK, TempDirTest, run_main

from makebundle import jdk, trial

HOME = jdk.find()
LAUNCHER = os.path.join(os.path.dirname(CHECK), "applauncher")


class ComplaintTest(unittest.TestCase):
    def test_the_exception_is_named(self):
        cases = [
            (b"Exception in thread \"AWT-EventQueue-0\" java.lang.NullPointerException\r\n",
             b"Exception in thread \"AWT-EventQueue-0\" java.lang.NullPointerException",
             "java.lang.NullPointerException"),
            (b"Picked up JAVA_TOOL_OPTIONS: -Dx\nError: Could not find or load main class no.Such"
             b"\nCaused by: java.lang.ClassNotFoundException: no.Such\n", None,
             "java.lang.ClassNotFoundException: no.Such (Error: Could not find or load main "
             "class no.Such)"),
            (b"Error occurred during initialization of boot layer\n"
             b"java.lang.module.FindException: Module app not found\n", None,
             "java.lang.module.FindException: Module app not found"),
            (b"Picked up JAVA_TOOL_OPTIONS: -Dx\nsomething went wrong\nthen more\n", None,
             "something went wrong"),
        ]
        for output, thrown, said in cases:
            with self.subTest(output=output):
                self.assertEqual(thrown, trial.thrown(output))
                self.assertEqual(said, trial.complaint(output))

    def test_the_runtime_says_why(self):
        refused = (b"[0.2s][error][cds] Error: non-empty directory '/b/Contents/app/../'\n"
                   b"Hint: enable -Xlog:class+path=info to diagnose the failure\n"
                   b"Error occurred during initialization of VM\n"
                   b"Cannot have non-empty directory in paths\n")
        thrown = (b"Exception in thread \"main\" java.lang.IllegalStateException: no\n"
                  b"\tat java.base/java.util.Objects.requireNonNull(Objects.java:259)\n"
                  b"\tat a.Main.main(Main.java:3)\n")
        cases = [
            (refused, "Cannot have non-empty directory in paths (Error: non-empty directory "
             "'/b/Contents/app/../')", None),
            (thrown, None, "a.Main.main(Main.java:3)"),
        ]
        for output, why, frame in cases:
            with self.subTest(output=output):
                self.assertEqual((why, frame), (trial.refusal(output), trial.first_frame(output)))


@unittest.skipIf(HOME is None or not os.access(LAUNCHER, os.X_OK),
                 "no JDK, or no built launcher beside APPLAUNCHER_CHECK")
class DoubleClickTest(TempDirTest):
    def test_a_start_that_needs_the_working_directory_fails_the_trial(self):
        cwd = os.getcwd()
        self.addCleanup(os.chdir, cwd)
        os.chdir(self.dir)
        self.write("game.properties", b"x=1\n")
        for where, want in (("\"game.properties\"", 1), ("System.getProperty(\"d\") + "
                                                         "\"/game.properties\"", 0)):
            self.write("src/a/Main.java", b"package a; public class Main { public static void "
                       b"main(String[] x) throws Exception { new java.io.FileInputStream(%s)"
                       b".close(); } }" % where.encode())
            subprocess.run([HOME + "/bin/javac", "-d", "classes", "src/a/Main.java"], check=True)
            subprocess.run([HOME + "/bin/jar", "cf", "a.jar", "-C", "classes", "."], check=True)
            self.write("A.cfg", b"[Application]\napp.classpath=$APPDIR/a.jar\napp.mainclass="
                       b"a.Main\n[JavaOptions]\njava-options=-Dd=$APPDIR\n")
            status, out, err = run_main(["-l", LAUNCHER, "-n", "A", "-o", "out", "-c", "A.cfg",
                                         "-L", HOME, "-a", "a.jar", "game.properties"])
            line = "make-bundle: the trial run threw java.io.FileNotFoundException: " \
                   "game.properties (No such file or directory) (in thread \"main\") at " \
                   "a.Main.main(Main.java:1); its output is in %s/out/A.trial.log" % self.dir
            self.assertEqual((want, want == 0), (status, os.path.isdir("out/A.app")), err)
            if want:
                self.assertEqual(line, err.splitlines()[-1])

    def test_an_idle_application_ends_the_trial(self):
        self.write("src/a/Main.java", b"package a; public class Main { public static void "
                   b"main(String[] x) throws Exception { Thread.sleep(600000); } }")
        subprocess.run([HOME + "/bin/javac", "-d", self.dir + "/classes",
                        self.dir + "/src/a/Main.java"], check=True)
        subprocess.run([HOME + "/bin/jar", "cf", self.dir + "/a.jar", "-C",
                        self.dir + "/classes", "."], check=True)
        cfg = self.write("A.cfg", b"[Application]\napp.classpath=$APPDIR/a.jar\n"
                         b"app.mainclass=a.Main\n")
        status, out, err = run_main(["-l", LAUNCHER, "-n", "A", "-o", self.dir + "/out", "-c",
                                     cfg, "-L", HOME, "-a", "-t", "300", "--trial-idle", "1",
                                     self.dir + "/a.jar"])
        self.assertEqual(0, status, err)
        self.assertIn(", when it had loaded no class for 1 s (--trial-idle)\n", err)
