"""The bundle's layout, read from applauncher-check --layout: what cannot be one."""

import unittest

from makebundle.layout import Layout
from makebundle.report import Failure


class LayoutTest(unittest.TestCase):
    def test_what_cannot_be_a_layout(self):
        full = "executable-dir=M\napp-dir=A\nruntime-dir=R\nlibrary-path-variable=V\n"
        cases = [
            (full, "check --layout gave no launch-library (is it older than make-bundle?)"),
            (full + "launch-library=H/libjli.dylib\n",
             "check --layout gave a launch library outside a runtime's lib directory: "
             "H/libjli.dylib"),
            (full + "launch-library=H/lib/a\nlaunch-library=G/lib/b\n",
             "check --layout gave launch libraries in different homes: H/lib/a, G/lib/b"),
        ]
        for text, line in cases:
            with self.subTest(text=text):
                with self.assertRaises(Failure) as e:
                    Layout(text, "check")
                self.assertEqual(line, str(e.exception))
        self.assertEqual("R/H", Layout(full + "launch-library=H/lib/x\n", "check").home_dir)
