"""The class-data archive: which kind a runtime gets, and where its Java options go in the
configuration."""

import unittest

from support import TempDirTest

from makebundle import archive, jdk


class ArchiveChoiceTest(TempDirTest):
    def test_which_runtime_gets_the_aot_cache(self):
        cases = [
            ('JAVA_VERSION="17.0.15"', (17, 0, 15), False),
            ('JAVA_VERSION="1.8.0_402"', (8, 0), False),
            ('JAVA_VERSION="25"', (25,), False),
            ('JAVA_VERSION="25.0.3"', (25, 0, 3), False),
            ('JAVA_VERSION="25.0.4"', (25, 0, 4), True),
            ('JAVA_VERSION="25.0.3.1"', (25, 0, 3, 1), False),
            ('JAVA_VERSION="25.0.4-ea"', (25, 0, 4), False),
            ('JAVA_VERSION="26.0.2"', (26, 0, 2), False),
            ('JAVA_VERSION="27-ea"', (27,), False),
            ('JAVA_VERSION="27"', (27,), True),
            ('JAVA_VERSION="31.0.1"', (31, 0, 1), True),
        ]
        for line, numbers, aot in cases:
            with self.subTest(line=line):
                self.write("release", ("IMPLEMENTOR=\"x\"\n" + line + "\n").encode())
                got, early = jdk.version(self.dir)
                self.assertEqual(numbers, got)
                self.assertEqual(aot, archive.gets_aot_cache(got, early))


class ConfigurationEditTest(unittest.TestCase):
    def test_options_go_after_the_line_the_check_names(self):
        add = ["-Xa", "-Dp=$APPDIR"]
        lines = b"java-options=-Xa\njava-options=-Dp=$APPDIR\n"
        # The configuration, the line the options follow (None: a section of their own), the
        # edited one, and the user's line after which lines were added with how many.
        cases = [
            (b"", None, b"[JavaOptions]\n" + lines, (0, 3)),
            (b"[Application]\napp.mainclass=M", None, b"[Application]\napp.mainclass=M\n"
                                                      b"[JavaOptions]\n" + lines, (2, 3)),
            (b"[JavaOptions]\r\njava-options=-Xmx1g\r\n", 2,
             b"[JavaOptions]\r\njava-options=-Xmx1g\r\n" + lines, (2, 2)),
        ]
        for cfg, after, want, added in cases:
            with self.subTest(cfg=cfg):
                self.assertEqual((want,) + added, archive.with_java_options(cfg, add, after))
