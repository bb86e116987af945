"""What a failed trial run is told by: the exception it threw, not its first line."""

import unittest

from makebundle import trial


class ComplaintTest(unittest.TestCase):
    def test_the_exception_is_named(self):
        cases = [
            (b"starting\nException in thread \"main\" java.awt.AWTError: Can't connect to X11 "
             b"window server using ':0'\n\tat java.desktop/...\n",
             b"Exception in thread \"main\" java.awt.AWTError: Can't connect to X11 window "
             b"server using ':0'",
             "java.awt.AWTError: Can't connect to X11 window server using ':0'"),
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
            (b"", None, "no output"),
        ]
        for output, thrown, said in cases:
            with self.subTest(output=output):
                self.assertEqual(thrown, trial.thrown(output))
                self.assertEqual(said, trial.complaint(output))

    def test_environment(self):
        base = {"HOME": "/home/u", "VORLANE_DEBUG": "true", "DISPLAY": ":0", "A": "1"}
        self.assertEqual({"HOME": "/tmp/h", "A": "2", "B": "x=y"},
                         trial.environment(base, ["DISPLAY", "A=2", "B=x=y"], "/tmp/h"))


if __name__ == "__main__":
    unittest.main()
