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
    def test_options_go_where_the_launcher_reads_them(self):
        add = ["-Xa", "-Dp=$APPDIR"]
        lines = b"java-options=-Xa\njava-options=-Dp=$APPDIR\n"
        # The configuration, the edited one, and the user's line after which lines were added
        # with how many.
        cases = [
            (b"", b"[JavaOptions]\n" + lines, (0, 3)),
            (b"[Application]\napp.mainclass=M", b"[Application]\napp.mainclass=M\n"
                                                b"[JavaOptions]\n" + lines, (2, 3)),
            # A header's name ends at the last "]" on its line: these name sections that the
            # launcher ignores, so the options get a section of their own.
            (b"[JavaOptions] ; tuned]\njava-options=-Xmx1g\n",
             b"[JavaOptions] ; tuned]\njava-options=-Xmx1g\n[JavaOptions]\n" + lines, (2, 3)),
            (b"[JavaOptions]]\n", b"[JavaOptions]]\n[JavaOptions]\n" + lines, (1, 3)),
            (b"[JavaOptions] ; tuned\n", b"[JavaOptions] ; tuned\n" + lines, (1, 2)),
            (b"[JavaOptions]\r\njava-options=-Xmx1g\r\n",
             b"[JavaOptions]\r\n" + lines + b"java-options=-Xmx1g\r\n", (1, 2)),
            # The launcher takes the last occurrence that records something.
            (b"[JavaOptions]\njava-options=a\n[JavaOptions]\n; none\n",
             b"[JavaOptions]\n" + lines + b"java-options=a\n[JavaOptions]\n; none\n", (1, 2)),
            (b"[JavaOptions]\njava-options=a\n[JavaOptions]\njava-options=b",
             b"[JavaOptions]\njava-options=a\n[JavaOptions]\n" + lines + b"java-options=b",
             (3, 2)),
        ]
        for cfg, want, added in cases:
            with self.subTest(cfg=cfg):
                place = archive.option_places(cfg)[0]
                self.assertEqual(want, archive.with_java_options(cfg, add, place))
                self.assertEqual(added, archive.added_lines(cfg, add, place))
        # Every occurrence is a candidate, then a new section.
        self.assertEqual([2, 0, None], archive.option_places(
            b"[JavaOptions]\n\n[JavaOptions]\nx\n"))

    def test_reaches(self):
        before = [b"/a/X", b"-classpath", b"x.jar", b"-Xmx1g", b"M", b""]
        cases = [
            ([b"/a/X", b"-classpath", b"x.jar", b"-Xa", b"-Xmx1g", b"M", b""], True),
            ([b"/a/X", b"-classpath", b"x.jar", b"-Xa", b"M", b""], False),
            (before, False),
            ([b"/a/X", b"-classpath", b"x.jar", b"-Xmx1g", b"M", b"-Xa", b""], True),
        ]
        for after, want in cases:
            with self.subTest(after=after):
                self.assertEqual(want, archive.reaches(before, after, ["-Xa"]))
        # An argument with a line feed spans two lines of the check's output.
        self.assertTrue(archive.reaches([b"M", b""], [b"-Da=x", b"y", b"M", b""], ["-Da=x\ny"]))
