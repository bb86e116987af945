"""The signals that end a run, and what a failed tool said."""

import signal
import unittest

from support import run_main

from makebundle import children
from makebundle.report import Interrupted


class SignalsTest(unittest.TestCase):
    def test_noted_then_raised_once_and_never_once_held(self):
        s = children.Signals()
        s.check()
        s.handler(signal.SIGHUP, None)
        s.handler(signal.SIGTERM, None)
        with self.assertRaises(Interrupted) as e:
            s.check()
        self.assertEqual("interrupted by SIGHUP", str(e.exception))
        s.check()  # the way out is not interrupted again
        s = children.Signals()
        s.hold()
        s.handler(signal.SIGTERM, None)
        s.check()

    def test_main_leaves_the_handlers_as_it_found_them(self):
        saved = signal.signal(signal.SIGHUP, signal.SIG_IGN)
        try:
            before = [signal.getsignal(n) for n in children.ENDING_SIGNALS]
            run_main(["--help"])
            self.assertEqual(before, [signal.getsignal(n) for n in children.ENDING_SIGNALS])
        finally:
            signal.signal(signal.SIGHUP, saved)

    def test_tool_complaint_is_the_error_line(self):
        jlink = ("Error: Module no.such not found\n"
                 "java.lang.module.FindException: Module no.such not found\n"
                 "\tat jdk.jlink/jdk.tools.jlink.internal.Main.main(Main.java:33)\n")
        self.assertEqual("Error: Module no.such not found", children.tool_complaint(jlink))
        self.assertEqual("b: denied", children.tool_complaint("a\nb: denied\n\n"))
