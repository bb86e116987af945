"""The icon: .icns files that make-bundle makes from a real PNG file and an .iconset folder,
read back (types, sizes, PNG signatures) with Info.plist naming them; icns.py's own rows for
the other sizes and the sources it refuses.

    APPLAUNCHER_CHECK=$PWD/build/applauncher-check python3 test/tools/makebundle/icns_test.py
"""

import os
import plistlib
import signal
import struct
import unittest
import zlib

from support import TempDirTest, run_main

from makebundle import icns


def png(width, height):
    """A real PNG file's bytes: an 8-bit grey image of width x height."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + \
            struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + b"\x80" * width for _ in range(height))
    return (icns.PNG_SIGNATURE + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0,
                                                            0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


class IcnsTest(TempDirTest):
    def entries(self, data):
        """(type, width, height) of each entry of the .icns bytes data, each a PNG."""
        entries = icns.read(data)
        for kind, png_data in entries:
            self.assertTrue(png_data.startswith(icns.PNG_SIGNATURE), kind)
        return [(kind.decode(),) + icns.png_size(png_data) for kind, png_data in entries]

    def test_make_bundle_writes_the_icns_of_a_png_or_an_iconset(self):
        # Apple's layout: each point size at 1x and 2x.
        for n in (16, 32, 128, 256, 512):
            self.write("App.iconset/icon_%dx%d.png" % (n, n), png(n, n))
            self.write("App.iconset/icon_%dx%d@2x.png" % (n, n), png(2 * n, 2 * n))
        self.write("App.iconset/.DS_Store", b"\0\0\0\1Bud1")
        out = os.path.join(self.dir, "out")
        for source, name, want in (
                (self.write("icon.png", png(64, 64)), "icon.icns",
                 [("icp6", 64, 64), ("ic12", 64, 64)]),
                (os.path.join(self.dir, "App.iconset"), "App.icns",
                 [("icp4", 16, 16), ("icp5", 32, 32), ("ic11", 32, 32), ("ic12", 64, 64),
                  ("ic07", 128, 128), ("ic08", 256, 256), ("ic13", 256, 256),
                  ("ic09", 512, 512), ("ic14", 512, 512), ("ic10", 1024, 1024)])):
            status, bundle, err = run_main(self.hello_args(out) + ["-I", source])
            self.assertEqual(0, status, err)
            contents = os.path.join(bundle.strip(), "Contents")
            self.assertEqual([name], os.listdir(os.path.join(contents, "Resources")))
            with open(os.path.join(contents, "Resources", name), "rb") as f:
                self.assertEqual(want, self.entries(f.read()))
            with open(os.path.join(contents, "Info.plist"), "rb") as f:
                self.assertEqual(name, plistlib.load(f)["CFBundleIconFile"])
        self.write("odd.png", png(100, 100))
        self.assertEqual((1, "", "make-bundle: %s/odd.png is 100x100 pixels; an icon's PNG is "
                          "square, of 16, 32, 64, 128, 256, 512, 1024 pixels\n" % self.dir),
                         run_main(self.hello_args(out) + ["-I", self.dir + "/odd.png"]))

    def test_one_png_gives_every_type_of_its_size(self):
        for pixels, types in ((16, ["icp4"]), (32, ["icp5", "ic11"]), (512, ["ic09", "ic14"]),
                              (1024, ["ic10"])):
            source = self.write("icon%d.png" % pixels, png(pixels, pixels))
            self.assertEqual([(t, pixels, pixels) for t in types],
                             self.entries(icns.icns_from(source)))

    def test_refusals(self):
        d = self.dir
        self.write("fake.png", b"GIF89a" + b"\0" * 40)
        self.write("bad.iconset/icon_32x32@2x.png", png(32, 32))
        self.write("unknown.iconset/icon_64x64.png", png(64, 64))
        os.mkdir(os.path.join(d, "empty.iconset"))
        self.write("cut.png", png(16, 16)[:45])
        self.write("junk.icns", b"icns\0\0\0\x10junkjunk")
        os.mkfifo(os.path.join(d, "fifo.png"))
        os.mkfifo(os.path.join(d, "fifo.icns"))
        for source, want in (
                ("fake.png", "%s/fake.png is not a PNG file"),
                ("bad.iconset", "%s/bad.iconset/icon_32x32@2x.png is 32x32 pixels; its name "
                 "calls for 64x64"),
                ("unknown.iconset", "%s/unknown.iconset/icon_64x64.png is no file of an .iconset "
                 "(icon_16x16.png, icon_16x16@2x.png ... icon_512x512@2x.png)"),
                ("empty.iconset", "%s/empty.iconset holds no icon_*.png file"),
                ("cut.png", "%s/cut.png is a damaged PNG file: its IDAT chunk at byte 33 runs "
                 "past the end"),
                ("junk.icns", "%s/junk.icns is a damaged .icns file: the .icns entry b'junk' at "
                 "byte 8 has a wrong length 1786080875"),
                ("fifo.png", "cannot read %s/fifo.png: not a regular file"),
                ("fifo.icns", "cannot read %s/fifo.icns: not a regular file")):
            signal.alarm(10)  # a read that waits on a FIFO ends the tests
            with self.assertRaises(icns.Failure) as caught:
                icns.icns_from(os.path.join(d, source))
            signal.alarm(0)
            self.assertEqual(want % d, str(caught.exception), source)


if __name__ == "__main__":
    unittest.main()
