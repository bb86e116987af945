"""make-bundle's command line: one table of options (OPTIONS) and validate(), their rules."""

import argparse
import os
import re

from .crosslink import PLATFORMS
from .infoplist import IDENTIFIER, VERSION
from .report import Failure, UsageError

TOOL_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
VERSION_FILE = os.path.join(TOOL_DIR, os.pardir, "VERSION")
DEFAULT_ENTITLEMENTS = os.path.join(TOOL_DIR, os.pardir, "macosx", "applauncher.entitlements")

DEFAULT_TIME_LIMIT = 60

# What jlink is told by make-bundle itself, and so not through --jlink-option.
OWN_JLINK_OPTIONS = ("--output", "--add-modules")

DESCRIPTION = """\
Lays out NAME.app in DIR around the launcher: Contents/MacOS/NAME (the launcher),
Contents/app (NAME.cfg and the FILEs), Contents/runtime (the Java runtime), Info.plist.
Prints the bundle's path alone on standard output; notes, progress and what applauncher-check
finds go to standard error."""

EPILOG = """\
exit status: 0 made, 1 failed (one line "make-bundle: ..." on standard error; any bundle that
was there is kept), 2 wrong command line"""

# A repeatable option's settings.
APPEND = dict(action="append", default=[])

# (flags, argparse settings, help): options that take a value have a metavar.
OPTIONS = [
    (("-l", "--launcher"), dict(metavar="LAUNCHER"),
     "the launcher executable, copied to Contents/MacOS/NAME"),
    (("-n", "--name"), dict(metavar="NAME"),
     "the application's name (NAME.app, executable NAME, NAME.cfg)"),
    (("-o", "--output"), dict(metavar="DIR", dest="outdir"),
     "the directory that receives NAME.app (created when missing)"),
    (("-c", "--config"), dict(metavar="CFG", dest="cfg"),
     "the launcher configuration, copied to Contents/app/NAME.cfg"),
    (("-r", "--runtime"), dict(metavar="JAVA_HOME"),
     "copies this runtime into the bundle (links followed), or links one from it with -m; "
     "with -m or -a and no runtime given, the installed JDK (tools/find-jdk)"),
    (("-m", "--modules"), dict(metavar="MODULES"),
     "a jlink image of these comma-separated modules, linked with the JDK of -r; \"auto\" among them "
     "stands for the modules that jdeps finds in the FILEs"),
    (("--jmods",), dict(metavar="DIR"),
     "with -m: links the runtime from this JDK's jmods directory (another platform's, such as a "
     "Mac JDK's on Linux) with the jlink of -r, else of the installed JDK"),
    (("--platform",), dict(metavar="PLATFORM"),
     "with --jmods: fails unless they are for PLATFORM (%s)" % ", ".join(sorted(PLATFORMS))),
    (("--jlink-option",), dict(metavar="OPTION", dest="jlink_options", **APPEND),
     "with -m: passes OPTION to jlink, e.g. --jlink-option=--include-locales=en (repeatable)"),
    (("--ignore-module",), dict(metavar="MODULE", dest="ignored_modules", **APPEND),
     "does not fail when the application's classes use MODULE and the runtime lacks it: the "
     "application does without it (repeatable)"),
    (("--copy-outside",), dict(action="store_true", dest="copy_outside"),
     "copies the jars that the launch would read from outside the bundle (named by a jar's "
     "manifest or the class path) into Contents/app and onto app.classpath, instead of failing"),
    (("-L", "--link-runtime"), dict(metavar="JAVA_HOME", dest="linked"),
     "links to this installed runtime's launch library instead (development, tests)"),
    (("-j", "--link-library"), dict(metavar="LIBRARY", dest="library"),
     "links this library file as the launch library instead"),
    (("-J", "--second-place"), dict(action="store_true", dest="second_place"),
     "puts the link of -L or -j at the second place the launcher looks at"),
    (("--check",), dict(metavar="PATH", dest="checker"),
     "the applauncher-check to run (default: the one beside the launcher)"),
    (("-i", "--identifier"), dict(metavar="IDENT"),
     "the bundle identifier (default: app.NAME, other characters as \"-\")"),
    (("-V", "--bundle-version"), dict(metavar="VERSION", dest="version"),
     "the bundle's version, one to three numbers (default: 1.0)"),
    (("-I", "--icon"), dict(metavar="ICON"),
     "the icon: an .icns file, copied to Contents/Resources, or a PNG or an .iconset folder, "
     "made into an .icns file of its name there (Name.png, Name.iconset: Name.icns)"),
    (("-p", "--plist"), dict(metavar="PLIST"),
     "a property list (XML or binary) whose keys are added to Info.plist"),
    (("-a", "--archive"), dict(action="store_true"),
     "adds a class-data archive made by one trial run of the bundle"),
    (("-t", "--trial-time"), dict(metavar="SECONDS", dest="time_limit"),
     "how long the trial run may take before it is ended (default: %d)" % DEFAULT_TIME_LIMIT),
    (("--trial-idle",), dict(metavar="SECONDS", dest="idle"),
     "ends the trial run once the application has loaded no class for SECONDS (a GUI "
     "waiting for its user), instead of after -t"),
    (("--trial-arg",), dict(metavar="ARG", dest="trial_args", **APPEND),
     "starts the trial run with this argument instead of the configured ones (repeatable)"),
    (("--trial-env",), dict(metavar="NAME=VALUE", dest="trial_env", **APPEND),
     "sets NAME in the trial run's environment (NAME alone: removes it), e.g. DISPLAY=:99"),
    (("--trial-home",), dict(action="store_true", dest="trial_home"),
     "runs the trial with HOME set to a new empty directory"),
    (("-s", "--sign"), dict(metavar="IDENTITY", dest="identity"),
     "signs the bundle with this identity (macOS only)"),
    (("-e", "--entitlements"), dict(metavar="FILE"),
     "the entitlements for signing (default: macosx/applauncher.entitlements)"),
    (("-P", "--keep-links"), dict(action="store_true", dest="keep_links"),
     "copies symbolic links among the FILEs as links instead of following them"),
    (("-W", "--strict"), dict(action="store_true"),
     "fails when applauncher-check warns about the bundle"),
    (("--zip",), dict(action="store_true"),
     "writes NAME.zip beside the finished bundle, as ditto -c -k --keepParent does (links kept, "
     "modes kept; the same bytes for the same bundle, dated SOURCE_DATE_EPOCH when it is set)"),
    (("--version",), dict(action="store_true", dest="show_version"),
     "prints make-bundle's version"),
    (("-h", "--help"), dict(action="store_true", dest="help"), "prints this text"),
]


class _Parser(argparse.ArgumentParser):
    """An ArgumentParser whose errors are one line each."""

    def error(self, message):
        raise UsageError(message + " (make-bundle --help for help)")


def parser():
    p = _Parser(prog="make-bundle", add_help=False, allow_abbrev=False, description=DESCRIPTION,
                epilog=EPILOG, formatter_class=argparse.RawDescriptionHelpFormatter,
                usage="make-bundle -l LAUNCHER -n NAME -o DIR -c CFG [options] [FILE...]")
    for flags, settings, text in OPTIONS:
        p.add_argument(*flags, help=text, **settings)
    p.add_argument("files", nargs="*", metavar="FILE",
                   help="files and directories copied into Contents/app")
    return p


def version():
    try:
        with open(VERSION_FILE, encoding="utf-8") as f:
            return f.readline().strip()
    except OSError as e:
        raise Failure("cannot read the version: %s: %s" % (VERSION_FILE, e.strerror or e))


def parse(argv):
    """The options of argv, checked; a UsageError says what is wrong."""
    o = parser().parse_intermixed_args(argv)
    o.entitlements_given = o.entitlements is not None
    if o.entitlements is None:
        o.entitlements = DEFAULT_ENTITLEMENTS
    if not (o.help or o.show_version):
        validate(o)
    return o


def seconds(value):
    return int(value) if re.fullmatch(r"[0-9]+", value) and int(value) > 0 else None


def validate(o):
    if o.launcher is None or o.name is None or o.outdir is None or o.cfg is None:
        raise UsageError("-l, -n, -o and -c are required (make-bundle --help for help)")
    linked = o.linked is not None or o.library is not None
    runtimes = [v for v in (o.runtime, o.linked, o.library) if v is not None]
    # The first wrong value of each kind, else None.
    own = [option.split("=")[0] for option in o.jlink_options
           if option.split("=")[0] in OWN_JLINK_OPTIONS] + [None]
    trial = o.trial_args or o.trial_env or o.trial_home or o.idle
    env = [s for s in o.trial_env
           if not re.fullmatch(r"[A-Za-z_][A-Za-z0-9_]*(=.*)?", s, re.DOTALL)] + [None]
    empty = [option for option, value in (("-r", o.runtime), ("-L", o.linked),
                                          ("-j", o.library), ("--jmods", o.jmods))
             if value == ""] + [None]
    name = o.name
    for refused, text in (
            (len(runtimes) > 1, "-r, -L and -j exclude each other"),
            (o.jmods is not None and o.modules is None,
             "--jmods goes with -m (the modules to link; -m auto lets jdeps choose)"),
            (o.jmods is not None and linked,
             "--jmods links the bundle's own runtime: it excludes -L and -j"),
            (o.modules is not None and linked,
             "-m links the bundle's own runtime: it excludes -L and -j"),
            (o.platform is not None and o.jmods is None, "--platform goes with --jmods"),
            (o.platform is not None and o.platform not in PLATFORMS,
             "--platform takes one of %s, not %r" % (", ".join(sorted(PLATFORMS)), o.platform)),
            (o.jlink_options and o.modules is None, "--jlink-option goes with -m"),
            (own[0], "--jlink-option cannot give %s: make-bundle sets it (-m names the modules)" %
             own[0]),
            (o.second_place and not linked, "-J goes with -L or -j"),
            (o.archive and o.library is not None, "-a needs a runtime (-r or -L)"),
            (trial and not o.archive,
             "--trial-arg, --trial-env, --trial-home and --trial-idle go with -a"),
            (o.idle is not None and seconds(o.idle) is None,
             "--trial-idle takes a number of seconds, not %r" % o.idle),
            (env[0] is not None, "--trial-env takes NAME=VALUE or NAME, not %r" % env[0]),
            # A signed bundle must not point outside itself; codesign refuses such links.
            (o.identity is not None and linked,
             "-s signs bundles with their own runtime (-r), not -L or -j"),
            (o.entitlements_given and o.identity is None, "-e goes with -s"),
            (empty[0], "%s was given an empty path (is JAVA_HOME set?)" % empty[0]),
            (o.time_limit is not None and seconds(o.time_limit) is None,
             "-t takes a number of seconds, not %r" % o.time_limit),
            (name in ("", ".", ".."), "the name must not be empty, \".\" or \"..\""),
            ("/" in name, "the name must not contain \"/\": " + name),
            (name.endswith(".app"), "the name must not end in \".app\": " + name),
            (re.search(r"[\x00-\x1f\x7f]", name),
             "the name must not contain control characters: " + repr(name)),
            # The bundle's path is in the class path, where ":" separates entries, and the
            # launcher reads "\\" in its own path as a separator.
            (re.search(r"[:\\]", name),
             "the name must not contain \":\" or \"\\\", which break the launch: " + name),
            (o.identifier is not None and not re.fullmatch(IDENTIFIER, o.identifier),
             "the identifier may hold only letters, digits, \"-\" and \".\": " +
             repr(o.identifier)),
            (o.version is not None and not re.fullmatch(VERSION, o.version),
             "the version must be one to three numbers separated by \".\": " + repr(o.version)),
            (o.modules is not None and not [m for m in o.modules.split(",") if m],
             "-m was given no module")):
        if refused:
            raise UsageError(text)
    if o.idle is not None:
        o.idle = seconds(o.idle)
    o.time_limit = DEFAULT_TIME_LIMIT if o.time_limit is None else seconds(o.time_limit)

    targets = {name + ".cfg": o.cfg}
    for f in o.files:
        target = os.path.basename(os.path.normpath(f))
        if target in ("", ".", "..", "/"):
            raise UsageError("cannot copy " + f + " into the bundle by its name")
        if target in targets:
            raise UsageError("both " + targets[target] + " and " + f +
                             " would be Contents/app/" + target)
        targets[target] = f
