"""The signals that end a run, with what the programs it runs started, and what a failed tool
said."""

import os
import plistlib
import signal
import subprocess
import time
import unittest

from support import CHECK, HELLO, ROOT, TempDirTest, run_main

from makebundle import programs
from makebundle.report import Interrupted


class SignalsTest(unittest.TestCase):
    def test_noted_then_raised_once_and_never_once_held(self):
        s = programs.Signals()
        s.check()
        s.handler(signal.SIGHUP, None)
        s.handler(signal.SIGTERM, None)
        with self.assertRaises(Interrupted) as e:
            s.check()
        self.assertEqual("interrupted by SIGHUP", str(e.exception))
        s.check()  # the way out is not interrupted again
        s = programs.Signals()
        s.hold()
        s.handler(signal.SIGTERM, None)
        s.check()

    def test_main_leaves_the_handlers_as_it_found_them(self):
        saved = signal.signal(signal.SIGHUP, signal.SIG_IGN)
        try:
            before = [signal.getsignal(n) for n in programs.ENDING_SIGNALS]
            run_main(["--help"])
            self.assertEqual(before, [signal.getsignal(n) for n in programs.ENDING_SIGNALS])
        finally:
            signal.signal(signal.SIGHUP, saved)

    def test_tool_complaint_is_the_error_line(self):
        jlink = ("Error: Module no.such not found\n"
                 "java.lang.module.FindException: Module no.such not found\n"
                 "\tat jdk.jlink/jdk.tools.jlink.internal.Main.main(Main.java:33)\n")
        self.assertEqual("Error: Module no.such not found", programs.tool_complaint(jlink))
        self.assertEqual("b: denied", programs.tool_complaint("a\nb: denied\n\n"))


class FamilyTest(TempDirTest):
    def test_a_signal_ends_the_checks_trial_in_its_own_session(self):
        fake = os.path.join(os.path.dirname(CHECK), "test", "libfakejli.so")
        if not os.path.isfile(fake):
            self.skipTest("no libfakejli.so beside APPLAUNCHER_CHECK")
        # The check judges a double-click: the stand-in's switch reaches it through the bundle.
        plist = os.path.join(self.dir, "sleep.plist")
        with open(plist, "wb") as f:
            plistlib.dump({"LSEnvironment": {"FAKEJLI_SLEEP": "1000"}}, f)
        run = subprocess.Popen(
            [ROOT + "/tools/make-bundle", "-l", self.launcher(), "-n", "Hello", "-o",
             self.dir + "/out", "-c", HELLO + "/Hello.cfg", "-j", fake, "-p", plist],
            stderr=subprocess.PIPE)
        for _ in range(600):  # until the check's trial start waits in the fake runtime
            table = programs.process_table()
            trials = [pid for pid, (parent, _) in table.items()
                      if table.get(parent, (None,))[0] == run.pid]
            if trials:
                break
            time.sleep(0.1)
        run.send_signal(signal.SIGTERM)
        self.assertEqual(b"make-bundle: interrupted by SIGTERM\n", run.communicate()[1])
        self.assertEqual([], [pid for pid in trials if pid in programs.process_table()])

    def test_a_killed_run_takes_its_programs_with_it_and_leaves_no_bundle(self):
        args = self.hello_args(self.dir + "/out")
        args[args.index("-L")] = "-r"
        run = subprocess.Popen([ROOT + "/tools/make-bundle"] + args + ["-m", "java.base"],
                               stderr=subprocess.DEVNULL)
        for _ in range(600):  # until a program of its own runs (the check, jdeps, jlink)
            linking = [pid for pid, (parent, _) in programs.process_table().items()
                       if parent == run.pid]
            if linking:
                break
            time.sleep(0.1)
        run.kill()
        run.wait()
        for _ in range(300):
            if not [pid for pid in linking if pid in programs.process_table()]:
                break
            time.sleep(0.1)
        self.assertEqual([], [pid for pid in linking if pid in programs.process_table()])
        self.assertFalse(os.path.exists(self.dir + "/out/Hello.app"))
        # The next run removes what the killed one left, and makes the bundle.
        self.assertEqual(0, run_main(args)[0])
        self.assertEqual(["Hello.app"], os.listdir(self.dir + "/out"))
