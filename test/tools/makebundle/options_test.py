"""make-bundle's command line: statuses and the one line of each refusal, help and version, and
the long options."""

import os

from support import TempDirTest, run_main

from makebundle import options


class CommandLineTest(TempDirTest):
    def test_statuses_and_lines(self):
        cfg = self.write("Show.cfg", b"[Application]\n")
        alone = self.write("alone/applauncher")
        base = ["-l", self.launcher(), "-n", "Show", "-o", self.dir, "-c", cfg]
        cases = [
            (["-V", "1.2.3.4"], 2,
             "the version must be one to three numbers separated by \".\": '1.2.3.4'"),
            (["-t", "abc"], 2, "-t takes a number of seconds, not 'abc'"),
            (["-x"], 2, "unrecognized arguments: -x (make-bundle --help for help)"),
            (["-i", "a b"], 2, "the identifier may hold only letters, digits, \"-\" and \".\": "
                               "'a b'"),
            (["-n", "a\nb"], 2, "the name must not contain control characters: 'a\\nb'"),
            (["-n", "a:b"], 2, "the name must not contain \":\" or \"\\\", which break the "
                               "launch: a:b"),
            (["-L", ""], 2, "-L was given an empty path (is JAVA_HOME set?)"),
            ([cfg], 2, "both %s and %s would be Contents/app/Show.cfg" % (cfg, cfg)),
            (["--jlink-option=--compress=2"], 2, "--jlink-option goes with -m"),
            (["-r", self.dir, "-m", "java.base", "--jlink-option=--output=x"], 2,
             "--jlink-option cannot give --output: make-bundle sets it (-m names the modules)"),
            (["--trial-home"], 2, "--trial-arg, --trial-env, --trial-home and --trial-idle go with -a"),
            (["--jmods", self.dir], 2,
             "--jmods goes with -m (the modules to link; -m auto lets jdeps choose)"),
            (["-m", "java.base", "--jmods", self.dir, "-L", self.dir], 2,
             "--jmods links the bundle's own runtime: it excludes -L and -j"),
            (["-m", "java.base", "--jmods", self.dir, "--platform", "macos"], 2,
             "--platform takes one of linux-aarch64, linux-amd64, macos-aarch64, macos-amd64, "
             "not 'macos'"),
            (["-a", "-L", self.dir, "--trial-env", "A-B=1"], 2,
             "--trial-env takes NAME=VALUE or NAME, not 'A-B=1'"),
            # What needs the file system to tell is a failure, not a usage error.
            (["-I", "/no/icon.icns"], 1, "no icon at /no/icon.icns"),
            (["-l", alone], 1, "no applauncher-check beside the launcher: %s/alone/"
                               "applauncher-check (the build makes it along with applauncher; "
                               "or give one with --check PATH)" % self.dir),
            (["--check", "/no/check"], 1, "no applauncher-check at /no/check (--check)"),
            (["--check", cfg], 1, "applauncher-check %s cannot run here: Permission denied "
                                  "(give one built for this machine with --check PATH)" % cfg),
            (["-a", "-L", self.dir], 1, "no launch library (lib/libjli.dylib, "
                                        "lib/jli/libjli.dylib, lib/libjli.so) in the runtime " +
                                        self.dir),
        ]
        for args, status, line in cases:
            with self.subTest(args=args):
                got = run_main(base + args)
                self.assertEqual((status, "", "make-bundle: " + line + "\n"), got)
        self.assertEqual(["Show.cfg", "alone", "bin"], sorted(os.listdir(self.dir)))

    def test_help_and_version(self):
        for flag in ("--help", "-h"):
            status, out, err = run_main([flag])
            self.assertEqual((0, options.parser().format_help(), ""), (status, out, err), flag)
        with open(os.path.join(options.TOOL_DIR, os.pardir, "VERSION")) as f:
            version = f.readline().strip()
        self.assertEqual((0, "make-bundle " + version + "\n", ""), run_main(["--version"]))
