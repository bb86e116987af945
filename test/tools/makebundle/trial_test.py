"""What a failed trial run is told by: the exception it threw, not its first line; and in real
runs, that the trial ends with everything it started, however make-bundle ends."""

import glob
import os
import re
import signal
import subprocess
import time
import unittest

from support import CHECK, ROOT, Deadline, TempDirTest, run_main

from makebundle import children, jdk, trial


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


LEAVE = """package leave;
public class Main {
    public static void main(String[] args) throws Exception {
        if (args[0].equals("fill")) {
            try (java.io.OutputStream out = new java.io.FileOutputStream(args[1])) {
                while (true) {
                    out.write(new byte[65536]);
                }
            } catch (java.io.IOException e) {
                System.exit(0);
            }
        }
        Process sleep = new ProcessBuilder("setsid", "sleep", "1000").start();
        System.out.println("pids " + ProcessHandle.current().pid() + " " + sleep.pid());
        System.out.flush();
        if (args[0].equals("stay")) {
            Thread.sleep(1000000);
        }
    }
}
"""


class TrialLifeTest(TempDirTest):
    """Real runs of make-bundle -a whose trial application starts `setsid sleep 1000`, which
    leaves its group and session, then ends ("leave"), sleeps ("stay") or fills the disk
    ("fill")."""

    def setUp(self):
        super().setUp()
        home = jdk.find()
        launcher = os.path.join(os.path.dirname(CHECK), "applauncher")
        if home is None or not os.access(launcher, os.X_OK):
            self.skipTest("no JDK or no built applauncher beside APPLAUNCHER_CHECK")
        self.write("src/leave/Main.java", LEAVE.encode())
        subprocess.run([home + "/bin/javac", "-d", self.dir + "/classes",
                        self.dir + "/src/leave/Main.java"], check=True)
        jar = self.dir + "/leave.jar"
        subprocess.run([home + "/bin/jar", "--create", "--file", jar, "-C",
                        self.dir + "/classes", "."], check=True)
        cfg = self.write("Leave.cfg", b"[Application]\napp.classpath=$APPDIR/leave.jar\n"
                                      b"app.mainclass=leave.Main\n")
        self.out = self.dir + "/out"
        self.argv = ["-l", launcher, "-n", "Leave", "-o", self.out, "-c", cfg, "-L", home, jar]

    def start(self, *args):
        return subprocess.Popen([ROOT + "/tools/make-bundle"] + self.argv + list(args),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def trial_pids(self):
        """The trial's runtime and its sleep, once the trial's log names them and make-bundle
        has found them."""
        with Deadline(60):
            while True:
                found = self.read(self.out + "/Leave.trial.log", r"^pids ([0-9]+) ([0-9]+)$")
                if found:
                    pids = [int(found.group(1)), int(found.group(2))]
                    record = glob.glob(self.out + "/.Leave.app.*.trial/processes")
                    if record and self.read(record[0], r"^%d " % pids[1]):
                        return pids
                time.sleep(0.1)

    @staticmethod
    def read(path, pattern):
        """The match of pattern in the file at path, or None."""
        try:
            with open(path) as f:
                return re.search(pattern, f.read(), re.MULTILINE)
        except FileNotFoundError:
            return None

    def assert_ended(self, pids):
        self.addCleanup(children.end_processes, pids, (signal.SIGKILL,))
        self.assertEqual([], [pid for pid in pids if pid in children.process_table()])

    def test_the_trial_ends_with_all_it_started(self):
        for args, signum, status, last in (
                (["--trial-arg", "leave"], None, 0, None),
                (["--trial-arg", "stay", "-t", "2"], None, 0, None),
                (["--trial-arg", "stay"], signal.SIGTERM, 1, "make-bundle: interrupted by SIGTERM"),
                (["--trial-arg", "stay"], signal.SIGHUP, 1, "make-bundle: interrupted by SIGHUP")):
            with self.subTest(args=args, signum=signum):
                run = self.start("-a", *args)
                pids = self.trial_pids()
                if signum is not None:
                    # A second run for the same bundle meanwhile fails at once.
                    self.assertEqual((1, "", "make-bundle: another make-bundle (process %d) is "
                                      "making %s/Leave.app; run again when it has ended\n" %
                                      (run.pid, self.out)), run_main(self.argv))
                    run.send_signal(signum)
                err = run.communicate(timeout=120)[1].decode()
                self.assertEqual(status, run.returncode, err)
                if last is not None:
                    self.assertEqual(last, err.splitlines()[-1])
                self.assert_ended(pids)

    def test_a_killed_runs_trial_writes_nothing_into_the_next_bundle(self):
        run = self.start("-a", "--trial-arg", "stay")
        pids = self.trial_pids()
        run.kill()
        run.communicate()
        status, _, err = run_main(self.argv)
        self.assertEqual(0, status, err)
        self.assertIn("note: ended process %d, the trial run of an interrupted run\n" % pids[0],
                      err)
        self.assert_ended(pids)
        self.assertEqual(["Leave.cfg", "leave.jar"],
                         sorted(os.listdir(self.out + "/Leave.app/Contents/app")))

    def test_a_full_disk_gets_the_runtimes_words_and_leaves_nothing(self):
        mount = self.dir + "/small"
        os.mkdir(mount)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=80m", "tmpfs", mount],
                          stderr=subprocess.DEVNULL).returncode != 0:
            self.skipTest("mounting a tmpfs is not permitted here")
        self.addCleanup(subprocess.run, ["umount", mount])
        self.argv[self.argv.index(self.out)] = self.out = mount + "/out"
        status, _, err = run_main(self.argv + ["-a", "--trial-arg", "fill",
                                               "--trial-arg", mount + "/filler"])
        self.assertEqual(1, status)
        self.assertEqual("make-bundle: the trial run ended with status 1: Unable to write to "
                         "shared archive file. (Error occurred during initialization of VM: "
                         "Unable to use shared archive.); its output could not be written to "
                         "%s/Leave.trial.log (No space left on device)" % self.out,
                         err.splitlines()[-1])
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
