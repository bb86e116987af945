#!/usr/bin/env python3
"""tools/makebundle/icns.py in-process: .icns files made from real PNG files and .iconset
folders in a temporary directory, read back (types, sizes, PNG signatures), and the sources it
refuses.

    python3 test/tools/icns_test.py
"""

import os
import struct
import sys
import tempfile
import unittest
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools"))
from makebundle import icns  # noqa: E402


def png(width, height):
    """A real PNG file's bytes: an 8-bit grey image of width x height."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + \
            struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + b"\x80" * width for _ in range(height))
    return (icns.PNG_SIGNATURE + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0,
                                                            0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


class IcnsTest(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.dir = tmp.name

    def write(self, relative, data):
        path = os.path.join(self.dir, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def read_back(self, source):
        """The (type, width, height) of each entry of the .icns made from source, after
        checking that every entry holds a PNG."""
        target = os.path.join(self.dir, icns.icns_name(source))
        icns.write(icns.icns_from(source), target)
        with open(target, "rb") as f:
            entries = icns.read(f.read())
        for kind, data in entries:
            self.assertTrue(data.startswith(icns.PNG_SIGNATURE), kind)
        return [(kind.decode(),) + icns.png_size(data) for kind, data in entries]

    def test_one_png_gives_every_type_of_its_size(self):
        for pixels, types in ((16, ["icp4"]), (32, ["icp5", "ic11"]), (64, ["icp6", "ic12"]),
                              (512, ["ic09", "ic14"]), (1024, ["ic10"])):
            source = self.write("icon%d.png" % pixels, png(pixels, pixels))
            self.assertEqual([(t, pixels, pixels) for t in types], self.read_back(source))

    def test_an_iconset_gives_one_type_per_file(self):
        # Apple's layout: each point size at 1x and 2x.
        for n in (16, 32, 128, 256, 512):
            self.write("App.iconset/icon_%dx%d.png" % (n, n), png(n, n))
            self.write("App.iconset/icon_%dx%d@2x.png" % (n, n), png(2 * n, 2 * n))
        self.write("App.iconset/.DS_Store", b"\0\0\0\1Bud1")
        got = self.read_back(os.path.join(self.dir, "App.iconset"))
        self.assertEqual([("icp4", 16, 16), ("icp5", 32, 32), ("ic11", 32, 32),
                          ("ic12", 64, 64), ("ic07", 128, 128), ("ic08", 256, 256),
                          ("ic13", 256, 256), ("ic09", 512, 512), ("ic14", 512, 512),
                          ("ic10", 1024, 1024)], got)
        self.assertTrue(os.path.isfile(os.path.join(self.dir, "App.icns")))

    def test_refusals(self):
        d = self.dir
        self.write("odd.png", png(100, 100))
        self.write("fake.png", b"GIF89a" + b"\0" * 40)
        self.write("bad.iconset/icon_32x32@2x.png", png(32, 32))
        self.write("unknown.iconset/icon_64x64.png", png(64, 64))
        os.mkdir(os.path.join(d, "empty.iconset"))
        for source, want in (
                ("odd.png", "/odd.png is 100x100 pixels; an icon's PNG is square, of 16, 32, 64, "
                 "128, 256, 512, 1024 pixels"),
                ("fake.png", "/fake.png is not a PNG file"),
                ("bad.iconset", "/bad.iconset/icon_32x32@2x.png is 32x32 pixels; its name calls "
                 "for 64x64"),
                ("unknown.iconset", "/unknown.iconset/icon_64x64.png is no file of an .iconset "
                 "(icon_16x16.png, icon_16x16@2x.png ... icon_512x512@2x.png)"),
                ("empty.iconset", "/empty.iconset holds no icon_*.png file")):
            with self.assertRaises(icns.IconError) as caught:
                icns.icns_from(os.path.join(d, source))
            self.assertEqual(d + want, str(caught.exception), source)

if __name__ == "__main__":
    unittest.main()
