"""What a failed trial run is told by: the exception it threw and its first frame in the
application, or the runtime's refusal; that it starts as a double-click does, in /; and in real
runs, that the trial ends with everything it started, however make-bundle ends."""

import os
import re
import signal
import subprocess
import time
import unittest

from support import ARCHIVE, CHECK, ROOT, TempDirTest, run_main

from makebundle import programs, jdk, trial

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
            (b"filled\nUnable to write to shared archive file.\r\nError occurred during "
             b"initialization of VM\r\nUnable to use shared archive.\r\n",
             "Unable to use shared archive. (Unable to write to shared archive file.)", None),
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
                                         "-L", HOME] + ARCHIVE + ["a.jar", "game.properties"])
            line = "make-bundle: the trial run threw java.io.FileNotFoundException: " \
                   "game.properties (No such file or directory) (in thread \"main\") at " \
                   "a.Main.main(Main.java:1); its output is in %s/out/A.trial.log" % self.dir
            self.assertEqual((want, want == 0), (status, os.path.isdir("out/A.app")), err)
            if want:
                self.assertEqual(line, err.splitlines()[-1])

    def test_an_application_that_stays_alive_is_ended(self):
        # Idle: ended at --trial-idle. Threw in main while a thread keeps it alive (a GUI): ended
        # once the whole trace is written, its frame told.
        rows = ((b"Thread.sleep(600000);", ["-t", "300", "--trial-idle", "1"],
                 ", when it had loaded no class for 1 s (--trial-idle)\n"),
                (b"new Thread(() -> { try { Thread.sleep(600000); } catch (Exception e) {} })"
                 b".start(); Thread.sleep(500); throw new IllegalStateException(\"gone\");",
                 ["-t", "60"], "the trial run threw java.lang.IllegalStateException: gone (in "
                 "thread \"main\") at a.Main.main(Main.java:1)"))
        for body, limits, want in rows:
            self.write("src/a/Main.java", b"package a; public class Main { public static void "
                       b"main(String[] x) throws Exception { %s } }" % body)
            subprocess.run([HOME + "/bin/javac", "-d", self.dir + "/classes",
                            self.dir + "/src/a/Main.java"], check=True)
            subprocess.run([HOME + "/bin/jar", "cf", self.dir + "/a.jar", "-C",
                            self.dir + "/classes", "."], check=True)
            cfg = self.write("A.cfg", b"[Application]\napp.classpath=$APPDIR/a.jar\n"
                             b"app.mainclass=a.Main\n")
            status, out, err = run_main(["-l", LAUNCHER, "-n", "A", "-o", self.dir + "/out",
                                         "-c", cfg, "-L", HOME] + ARCHIVE +
                                        limits + [self.dir + "/a.jar"])
            self.assertEqual(int(b"throw" in body), status, err)
            self.assertIn(want, err)


LEAVE = """package leave;
public class Main {
    public static void main(String[] args) throws Exception {
        if (args[0].equals("fill")) {
            try (var out = new java.io.FileOutputStream(args[1])) {
                for (;;) out.write(new byte[65536]);
            } catch (java.io.IOException e) { return; }
        }
        Process sleep = new ProcessBuilder("setsid", "sleep", "1000").start();
        System.out.println("pids " + ProcessHandle.current().pid() + " " + sleep.pid());
        if (args[0].equals("stay")) Thread.sleep(1000000);
    }
}"""


class TrialLifeTest(TempDirTest):
    """Real runs of make-bundle -a whose trial application starts `setsid sleep 1000`, which
    leaves its group and session, then ends ("leave"), sleeps ("stay"), or only fills the disk
    ("fill")."""

    def setUp(self):
        super().setUp()
        home = jdk.find()
        launcher = os.path.join(os.path.dirname(CHECK), "applauncher")
        if home is None or not os.access(launcher, os.X_OK):
            self.skipTest("no JDK or no built applauncher beside APPLAUNCHER_CHECK")
        source = self.write("src/leave/Main.java", LEAVE.encode())
        jar = self.dir + "/leave.jar"
        subprocess.run([home + "/bin/javac", "-d", self.dir + "/classes", source], check=True)
        subprocess.run([home + "/bin/jar", "-c", "-f", jar, "-C", self.dir + "/classes", "."],
                       check=True)
        cfg = self.write("Leave.cfg", b"[Application]\napp.classpath=$APPDIR/leave.jar\n"
                                      b"app.mainclass=leave.Main\n")
        self.out = self.dir + "/out"
        self.argv = ["-l", launcher, "-n", "Leave", "-o", self.out, "-c", cfg, "-L", home, jar]

    def start(self, *args):
        """make-bundle -a run as a process, and the pids of the trial's runtime and its sleep
        once the log names them."""
        if os.path.exists(self.out + "/Leave.trial.log"):
            os.remove(self.out + "/Leave.trial.log")
        run = subprocess.Popen([ROOT + "/tools/make-bundle"] + ARCHIVE + self.argv + list(args),
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        for _ in range(600):
            said = read(self.out + "/Leave.trial.log")
            pids = re.search(r"pids ([0-9]+) ([0-9]+)\n", said)
            if pids:
                return run, [int(pids.group(1)), int(pids.group(2))]
            time.sleep(0.1)
        self.fail("no trial: " + said)

    def test_the_trial_ends_with_all_it_started(self):
        for args, signum, status in (
                (["leave"], None, 0), (["stay", "-t", "2"], None, 0),
                (["stay"], signal.SIGTERM, 1), (["stay"], signal.SIGHUP, 1),
                (["stay"], signal.SIGKILL, -signal.SIGKILL)):
            with self.subTest(args=args, signum=signum):
                run, pids = self.start("--trial-arg", *args)
                if signum is not None:
                    # A second run for the same bundle meanwhile fails at once.
                    self.assertEqual((1, "", "make-bundle: another make-bundle (process %d) is "
                                      "making %s/Leave.app; run again when it has ended\n" %
                                      (run.pid, self.out)), run_main(self.argv))
                    run.send_signal(signum)
                err = run.communicate(timeout=120)[1].decode()
                self.assertEqual(status, run.returncode, err)
                if signum == signal.SIGKILL:
                    # The check dies with make-bundle and its keeper ends the trial; none of it
                    # writes an archive into the next run's bundle.
                    self.assertEqual(0, run_main(self.argv)[0])
                    self.assertEqual(["Leave.cfg", "leave.jar"],
                                     sorted(os.listdir(self.out + "/Leave.app/Contents/app")))
                elif signum is not None:
                    self.assertEqual("make-bundle: interrupted by " + signum.name,
                                     err.splitlines()[-1])
                self.assertEqual([], [pid for pid in pids if pid in programs.process_table()])

    def test_a_full_disk_gets_the_runtimes_words_and_leaves_nothing(self):
        mount = self.dir + "/small"
        os.mkdir(mount)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=80m", "tmpfs", mount],
                          stderr=subprocess.DEVNULL).returncode != 0:
            self.skipTest("mounting a tmpfs is not permitted here")
        self.addCleanup(subprocess.run, ["umount", mount])
        self.argv[self.argv.index(self.out)] = self.out = mount + "/out"
        status, _, err = run_main(self.argv + ARCHIVE + ["--trial-arg", "fill",
                                               "--trial-arg", mount + "/filler"])
        self.assertEqual(1, status)
        # The runtime's words, too, found no room in the log.
        self.assertRegex(err, r"make-bundle: the trial run ended with status 1: no output; its "
                         r"output could not be written to %s/Leave\.trial\.log \(No space left on "
                         r"device\)\n$" % re.escape(self.out))
        self.assertEqual(["filler"], os.listdir(mount))
        os.remove(mount + "/filler")
        # A runtime larger than the disk: the file that did not fit is named once.
        self.argv[self.argv.index("-L")] = "-r"
        status, _, err = run_main(self.argv)
        self.assertEqual(1, status)
        self.assertRegex(err, r"^make-bundle: cannot copy %s/(\S+) to %s/Leave\.app/Contents/"
                         r"runtime/Contents/Home/\1: No space left on device\n$" %
                         (re.escape(os.path.realpath(jdk.find())), re.escape(self.out)))
        self.assertEqual([], os.listdir(mount))


def read(path):
    """The text of the file at path; "" when there is none."""
    try:
        with open(path) as f:
            return f.read()
    except FileNotFoundError:
        return ""
