"""The check's findings on the bundle's configuration, told on the user's own file."""

import unittest

from makebundle.findings import CfgMap


class CfgMapTest(unittest.TestCase):
    def test_findings_name_the_users_file_and_lines(self):
        bundle = b"/out/Show.app/Contents/app/Show.cfg"
        cases = [
            # Nothing added: the path changes, the numbers stay.
            (None, bundle + b":2: warning: unknown", b"my dir/Show.cfg:2: warning: unknown"),
            # Three lines added after the user's fourth.
            ((4, 3), bundle + b":4: warning: a", b"my dir/Show.cfg:4: warning: a"),
            ((4, 3), bundle + b":7: warning: c",
             b"my dir/Show.cfg (a line that -a added after line 4): warning: c"),
            ((4, 3), bundle + b":8: warning: d", b"my dir/Show.cfg:5: warning: d"),
            # Other files and lines are left as they are.
            ((4, 3), b"/out/Show.app/Contents/Info.plist:3: warning: e",
             b"/out/Show.app/Contents/Info.plist:3: warning: e"),
            (None, bundle + b"x:2: warning: f", bundle + b"x:2: warning: f"),
            # One line added after the second by --copy-outside, then two by -a after the
            # copy's fifth (the user's fourth).
            ((2, 1, "--copy-outside", 5, 2), bundle + b":3: warning: g",
             b"my dir/Show.cfg (a line that --copy-outside added after line 2): warning: g"),
            ((2, 1, "--copy-outside", 5, 2), bundle + b":7: warning: h",
             b"my dir/Show.cfg (a line that -a added after line 4): warning: h"),
            ((2, 1, "--copy-outside", 5, 2), bundle + b":8: warning: i",
             b"my dir/Show.cfg:5: warning: i"),
        ]
        for added, line, want in cases:
            with self.subTest(line=line, added=added):
                m = CfgMap(bundle.decode(), "my dir/Show.cfg")
                if added and len(added) > 2:
                    m.added(*added[:3])
                    added = added[3:]
                if added:
                    m.added(*added)
                self.assertEqual(want, m.tell(line))
