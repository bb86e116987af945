"""Info.plist: the keys that the options decide, merged with those of -p."""

import os
import plistlib
import signal

from support import TempDirTest

from makebundle import infoplist, options
from makebundle.report import Failure


class InfoPlistTest(TempDirTest):
    def options(self, *argv):
        return options.parse(["-l", "l", "-n", "Show", "-o", "o", "-c", "c"] + list(argv))

    def test_keys_are_added_and_defaults_replaced(self):
        extra = {"CFBundleDocumentTypes": [{"CFBundleTypeExtensions": ["show"]}],
                 "LSUIElement": True, "CFBundleDisplayName": "My Show",
                 "CFBundleIdentifier": "org.example.show", "CFBundleVersion": "7",
                 "LSMinimumSystemVersion": "12.0", "CFBundleExecutable": "Show"}
        info = infoplist.info_plist(self.options(), extra, "x.plist")
        for key, value in extra.items():
            self.assertEqual(value, info[key], key)
        self.assertEqual("1.0", info["CFBundleShortVersionString"])
        self.assertEqual("APPL", info["CFBundlePackageType"])

    def test_refusals(self):
        cases = [
            ((), {"CFBundleExecutable": "Other"},
             "x.plist gives CFBundleExecutable 'Other', but make-bundle sets it to 'Show' (-n)"),
            ((), {"CFBundlePackageType": "FMWK"},
             "x.plist gives CFBundlePackageType 'FMWK', but make-bundle sets it to 'APPL' "
             "(every bundle it makes)"),
            (("-i", "a.b"), {"CFBundleIdentifier": "a.c"},
             "x.plist gives CFBundleIdentifier 'a.c', but make-bundle sets it to 'a.b' (-i)"),
            (("-V", "2.0"), {"CFBundleVersion": "2.0.1"},
             "x.plist gives CFBundleVersion '2.0.1', but make-bundle sets it to '2.0' (-V)"),
            (("-I", "/x/Show.icns"), {"CFBundleIconFile": "Other.icns"},
             "x.plist gives CFBundleIconFile 'Other.icns', but make-bundle sets it to "
             "'Show.icns' (-I)"),
            ((), {"CFBundleIdentifier": "a b"},
             "x.plist gives CFBundleIdentifier 'a b', which is not of the form a.b-c"),
            ((), {"CFBundleVersion": 3},
             "x.plist gives CFBundleVersion 3, which is not of the form 1.2.3"),
            ((), {"LSMinimumSystemVersion": "10.15"},
             "x.plist gives LSMinimumSystemVersion '10.15', but the launcher needs macOS 11"),
        ]
        for argv, extra, line in cases:
            with self.subTest(extra=extra):
                with self.assertRaises(Failure) as e:
                    infoplist.info_plist(self.options(*argv), extra, "x.plist")
                self.assertEqual(line, str(e.exception))
        # The same value as the option's is no conflict.
        infoplist.info_plist(self.options("-i", "a.b"), {"CFBundleIdentifier": "a.b"}, "x.plist")

    def test_reading(self):
        binary = self.write("b.plist", plistlib.dumps({"LSUIElement": True},
                                                      fmt=plistlib.FMT_BINARY))
        self.assertEqual({"LSUIElement": True}, infoplist.read_plist(binary))
        cases = [
            (self.write("list.plist", plistlib.dumps([1])),
             "the property list %s/list.plist holds a list, not a dictionary"),
            (self.write("bad.plist", b"<plist><dict><key>x</key></plist>"),
             "cannot read the property list %s/bad.plist: mismatched tag: line 1, column 27"),
            (os.path.join(self.dir, "none.plist"),
             "cannot read %s/none.plist: No such file or directory"),
            (self.write("deep.plist", b"<plist><dict><key>x</key>" + b"<array>" * 500 +
                        b"</array>" * 500 + b"</dict></plist>"),
             "the property list %s/deep.plist nests arrays and dictionaries more than 100 deep"),
            (os.path.join(self.dir, "fifo.plist"),
             "cannot read %s/fifo.plist: not a regular file"),
        ]
        os.mkfifo(os.path.join(self.dir, "fifo.plist"))
        for path, line in cases:
            with self.subTest(path=path):
                signal.alarm(10)  # a read that waits on the FIFO ends the tests
                with self.assertRaises(Failure) as e:
                    infoplist.read_plist(path)
                signal.alarm(0)
                self.assertEqual(line % self.dir, str(e.exception))
