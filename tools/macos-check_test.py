#!/usr/bin/env python3
"""tools/macos-check against small Mach-O programs built here with the cross compiler, each
broken in one way: the check must name exactly that miss. Needs `tools/install-deps --macos`.

    python3 tools/macos-check_test.py
"""

import importlib.machinery
import importlib.util
import os
import re
import struct
import subprocess
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ZIG_CC = os.path.join(ROOT, "cmake", "zig-cc")
STUBS = os.path.join(ROOT, "cmake", "darwin-stubs")
COCOA = "/System/Library/Frameworks/Cocoa.framework/Versions/A/Cocoa"


_loader = importlib.machinery.SourceFileLoader("checker", f"{ROOT}/tools/macos-check")
checker = importlib.util.module_from_spec(importlib.util.spec_from_loader("checker", _loader))
_loader.exec_module(checker)

PROGRAM = r"""
#include <stdlib.h>
#include <unistd.h>
int extra_function(void);
#ifdef HIDE_MAIN
__attribute__((visibility("hidden")))
#endif
int main(void) {
#ifdef CALL_FORK
    fork();
#endif
#ifdef CALL_EXTRA
    extra_function();
#endif
    return getenv("X") != 0;
}
"""

# A framework of our own beside Cocoa, so that a symbol can come from a library that is not
# libSystem.
EXTRA_TBD = """--- !tapi-tbd
tbd-version:     4
targets:         [ x86_64-macos, arm64-macos ]
install-name:    '/Library/Frameworks/Extra.framework/Versions/A/Extra'
exports:
  - targets:         [ x86_64-macos, arm64-macos ]
    symbols:         [ _extra_function ]
...
"""

GOOD_ENTITLEMENTS = os.path.join(ROOT, "macosx", "applauncher.entitlements")


def drop_code_signature(path):
    """Removes the LC_CODE_SIGNATURE load command of a thin 64-bit Mach-O file, as a post-link
    step that rewrites the file might."""
    with open(path, "r+b") as f:
        data = bytearray(f.read())
        magic, _, _, _, ncmds, sizeofcmds = struct.unpack_from("<6I", data, 0)
        assert magic == 0xFEEDFACF, hex(magic)
        at, end = 32, 32 + sizeofcmds
        for _ in range(ncmds):
            cmd, size = struct.unpack_from("<2I", data, at)
            if cmd == 0x1D:  # LC_CODE_SIGNATURE
                data[at:end] = data[at + size : end] + bytes(size)
                struct.pack_into("<2I", data, 16, ncmds - 1, sizeofcmds - size)
                f.seek(0)
                f.write(data)
                return
            at += size
    raise AssertionError(f"{path} has no LC_CODE_SIGNATURE")

# Each slice: (architecture, minos, extra compiler options).
GOOD = [("x86_64", "11.0", []), ("arm64", "11.0", [])]

BINARY_CASES = [
    ("both slices as wanted", GOOD, []),
    ("arm64 slice missing", GOOD[:1], ["no arm64 slice (the file has x86_64)"]),
    ("a later minos", [GOOD[0], ("arm64", "12.0", [])], ["arm64: minos 12.0, want 11.0"]),
    (
        "no Cocoa",
        [("x86_64", "11.0", ["-DNO_COCOA"]), GOOD[1]],
        [f"x86_64: no load command for {COCOA}"],
    ),
    (
        "main hidden",
        [("x86_64", "11.0", ["-DHIDE_MAIN"]), GOOD[1]],
        ["x86_64: _main is not an external symbol (private external)"],
    ),
    (
        "a libSystem function outside the allowlist",
        [GOOD[0], ("arm64", "11.0", ["-DCALL_FORK"])],
        ["arm64: undefined _fork is not in the allowlist"],
    ),
    (
        "arm64 slice without a code signature",
        [GOOD[0], ("arm64", "11.0", ["-DUNSIGNED"])],
        [
            "arm64: no code signature (LC_CODE_SIGNATURE); Apple Silicon does not run unsigned "
            "arm64 code"
        ],
    ),
    (
        "a function from another library",
        [("x86_64", "11.0", ["-DCALL_EXTRA"]), GOOD[1]],
        ["x86_64: undefined _extra_function from Extra, want libSystem"],
    ),
]

ENTITLEMENT_CASES = [
    ("the project's file", None, []),
    ("not a plist", b"<plist><dict><key>x</key>", ["entitlements {path}: "]),
    (
        "not a dictionary",
        b'<plist version="1.0"><array/></plist>',
        ["entitlements {path}: not a dictionary"],
    ),
    (
        "a key missing, one too many, one false",
        b"""<plist version="1.0"><dict>
<key>com.apple.security.cs.allow-jit</key><false/>
<key>com.apple.security.cs.allow-unsigned-executable-memory</key><true/>
<key>com.apple.security.cs.disable-executable-page-protection</key><true/>
<key>com.apple.security.cs.allow-dyld-environment-variables</key><true/>
<key>com.apple.security.get-task-allow</key><true/>
</dict></plist>""",
        [
            "entitlements: missing com.apple.security.cs.disable-library-validation",
            "entitlements: unexpected com.apple.security.get-task-allow",
            "entitlements: com.apple.security.cs.allow-jit is not true",
        ],
    ),
]


class MacosCheckTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.dir = cls.tmp.name
        os.makedirs(os.path.join(cls.dir, "fw", "Extra.framework"))
        with open(os.path.join(cls.dir, "fw", "Extra.framework", "Extra.tbd"), "w") as f:
            f.write(EXTRA_TBD)
        with open(os.path.join(cls.dir, "main.c"), "w") as f:
            f.write(PROGRAM)
        cls.allowlist = os.path.join(cls.dir, "allowlist.txt")
        with open(cls.allowlist, "w") as f:
            f.write("# what the program calls\n_getenv\ndyld_stub_binder  # the lazy binder\n")
        cls.slices = {}

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def slice(self, arch, minos, options):
        """One thin executable, built once per distinct request."""
        key = (arch, minos, tuple(options))
        if key not in self.slices:
            out = os.path.join(self.dir, f"slice{len(self.slices)}")
            link = []
            if "-DNO_COCOA" not in options:
                link += ["-F", STUBS, "-framework", "Cocoa"]
            if "-DCALL_EXTRA" in options:
                link += ["-F", os.path.join(self.dir, "fw"), "-framework", "Extra"]
            subprocess.run(
                [ZIG_CC, "-arch", arch, f"-mmacosx-version-min={minos}", *options, *link,
                 os.path.join(self.dir, "main.c"), "-o", out],
                check=True,
            )
            if "-DUNSIGNED" in options:
                drop_code_signature(out)
            self.slices[key] = out
        return self.slices[key]

    def fat(self, name, slices):
        out = os.path.join(self.dir, re.sub(r"\W", "_", name))
        thin = [self.slice(*s) for s in slices]
        subprocess.run(["llvm-lipo-14", "-create", *thin, "-output", out], check=True)
        return out

    def test_each_broken_binary_shows_its_miss(self):
        for name, slices, want in BINARY_CASES:
            with self.subTest(name):
                binary = self.fat(name, slices)
                got = checker.check(
                    binary, ["x86_64", "arm64"], "11.0", self.allowlist, GOOD_ENTITLEMENTS
                )
                self.assertEqual(want, got, name)

    def test_each_broken_entitlements_file_shows_its_miss(self):
        for name, content, want in ENTITLEMENT_CASES:
            with self.subTest(name):
                path = GOOD_ENTITLEMENTS
                if content is not None:
                    path = os.path.join(self.dir, "entitlements.plist")
                    with open(path, "wb") as f:
                        f.write(content)
                got = checker.check_entitlements(path)
                want = [w.format(path=path) for w in want]
                # A parser's own text follows the path; only the start of the line is ours.
                trimmed = [g[: len(w)] if w.endswith(": ") else g for g, w in zip(got, want)]
                self.assertEqual(want, trimmed + got[len(want) :], name)

    def test_the_command_fails_with_status_1_and_a_line_per_miss(self):
        binary = self.fat("one slice for the command", GOOD[:1])
        done = subprocess.run(
            [os.path.join(ROOT, "tools", "macos-check"), "--allowlist", self.allowlist, binary],
            capture_output=True,
            text=True,
        )
        self.assertEqual(1, done.returncode)
        self.assertEqual(
            [
                "macos-check: no arm64 slice (the file has x86_64)",
                f"macos-check: {binary}: 1 miss",
            ],
            done.stderr.splitlines(),
        )

    def test_a_missing_file_is_one_line_and_status_1(self):
        missing = os.path.join(self.dir, "no-such-file")
        done = subprocess.run(
            [os.path.join(ROOT, "tools", "macos-check"), missing], capture_output=True, text=True
        )
        self.assertEqual(1, done.returncode)
        self.assertEqual(1, len(done.stderr.splitlines()), done.stderr)
        want = "macos-check: llvm-lipo-14 -archs " + missing
        self.assertTrue(done.stderr.startswith(want), done.stderr)

    def test_the_allowlist_names_only_what_macos_11_exports(self):
        # Zig's link stubs of macOS 11's libSystem: every listed name must be there.
        zig = os.environ.get("LAUNCHER_ZIG") or os.path.join(
            os.environ.get("XDG_CACHE_HOME") or os.path.join(os.environ["HOME"], ".cache"),
            "applauncher", "zig-0.11.0", "zig")
        tbd = os.path.join(os.path.dirname(zig), "lib", "libc", "darwin", "libSystem.11.tbd")
        with open(tbd, encoding="utf-8") as f:
            exported = set(re.split(r"[\s,\[\]']+", f.read()))
        allowlist = checker.read_allowlist(os.path.join(ROOT, "macosx", "libsystem-allowlist.txt"))
        self.assertGreater(len(allowlist), 0)
        self.assertEqual([], sorted(allowlist - exported))


if __name__ == "__main__":
    unittest.main()
