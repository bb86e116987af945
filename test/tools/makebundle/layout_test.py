"""The bundle's layout, read from applauncher-check --layout."""

import subprocess
import unittest

from support import CHECK, TempDirTest

from makebundle.layout import Layout
from makebundle.report import Failure


class LayoutTest(TempDirTest):
    def test_the_checks_layout(self):
        self.launcher()  # skips without a check
        text = subprocess.run([CHECK, "--layout"], stdout=subprocess.PIPE, check=True).stdout
        layout = Layout(text.decode(), CHECK)
        self.assertEqual(("Contents/MacOS", "Contents/app", "Contents/runtime/Contents/Home",
                          ["lib/libjli.dylib", "lib/jli/libjli.dylib"]),
                         (layout.executable_dir, layout.app_dir, layout.home_dir,
                          layout.home_libraries))

    def test_what_cannot_be_a_layout(self):
        full = ("executable-dir=M\napp-dir=A\nruntime-dir=R\nlibrary-path-variable=V\n")
        cases = [
            ("", "check --layout gave no executable-dir, app-dir, runtime-dir, launch-library, "
                 "library-path-variable (is it older than make-bundle?)"),
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
        # A runtime directory that is the home itself.
        self.assertEqual("R", Layout(full + "launch-library=lib/x\n", "check").home_dir)


if __name__ == "__main__":
    unittest.main()
