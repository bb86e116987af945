"""What a failed trial run is told by: the exception it threw, not its first line."""

import unittest

from makebundle import trial


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
