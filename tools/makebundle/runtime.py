"""The bundle's runtime (copied, linked by jlink, or a link), and a module it lacks."""

import contextlib
import os
import shutil

from . import crosslink, jdk, modules, programs
from .files import copy_file, copy_followed
from .report import note

# What every linked image leaves out: it is a runtime to ship, not a JDK.
JLINK_OPTIONS = ["--strip-debug", "--no-man-pages", "--no-header-files"]

# The file in a linked runtime's home that records what it was linked from.
JLINK_RECORD = "make-bundle.jlink"


def jlink_digest(p):
    """A digest of the JDK, the jmods, the modules, the options and make-bundle's version."""
    module_files = [os.path.join(p.home, "lib", "modules")]
    for jmods in [os.path.join(p.home, "jmods")] + ([p.o.jmods] if p.o.jmods else []):
        if os.path.isdir(jmods):
            module_files += [os.path.join(jmods, n) for n in sorted(os.listdir(jmods))]
    jlink = os.path.realpath(os.path.join(p.home, "bin", "jlink"))
    parts = [jlink, p.o.jmods or "", repr(sorted(jdk.release(p.home).items()))] + p.modules
    return modules.digest(parts + ["--"] + JLINK_OPTIONS + p.o.jlink_options, module_files)


def link(p, home):
    """Puts an image of p.modules at home: the old one if made of the same inputs, else jlink's."""
    digest = jlink_digest(p)
    old = p.layout.runtime_home(p.bundle)
    t = p.target
    recorded = None
    with contextlib.suppress(OSError):
        with open(os.path.join(old, JLINK_RECORD), encoding="ascii", errors="replace") as f:
            recorded = f.read().strip()
    if recorded == digest:
        shutil.copytree(old, home, symlinks=True, copy_function=copy_file)
        note("reused the runtime of %s: it was linked from the same JDK, modules and options "
             "(jlink did not run)" % p.bundle)
    else:
        jlink = os.path.join(p.home, "bin", "jlink")
        options = JLINK_OPTIONS + p.o.jlink_options
        # A base archive speeds the start, -a builds on it; jlink makes one only for its platform.
        if not (t and t.cross) and \
                "--generate-cds-archive" in programs.run_tool([jlink, "--list-plugins"], "jlink"):
            options = options + ["--generate-cds-archive"]
        if t is None:
            note("linking a runtime of %s with %s" % (",".join(p.modules), jlink))
            programs.run_tool([jlink, "--add-modules", ",".join(p.modules)] + options +
                              ["--output", home], "jlink")
        else:
            note("linking a runtime of %s for %s from %s with %s" %
                 (",".join(p.modules), t.platform, t.jmods, jlink))
            crosslink.link(t, p.modules, home, p.checker.path, options)
        with open(os.path.join(home, JLINK_RECORD), "w", encoding="ascii") as f:
            f.write(digest + "\n")
    if t and t.cross:
        note(crosslink.archive_note(t))


def put(p, stage):
    o = p.o
    home = p.layout.runtime_home(stage)
    if o.runtime is not None:
        os.makedirs(os.path.dirname(home))
        if p.modules is not None:
            link(p, home)
        else:
            for path, why in copy_followed(p.home, home, skip_broken=True):
                note("skipped the link " + path + ", which " + why)
        # The host build's runtime: its library reached through a link at the launcher's place.
        first = os.path.join(home, p.layout.home_libraries[0])
        linux = os.path.join(home, jdk.LINUX_LAUNCH_LIBRARY)
        if jdk.launch_library(home, p.layout.home_libraries) == jdk.LINUX_LAUNCH_LIBRARY:
            os.makedirs(os.path.dirname(first), exist_ok=True)
            os.symlink(os.path.relpath(linux, os.path.dirname(first)), first)
    elif p.library is not None:
        place = os.path.join(home, p.layout.home_libraries[1 if o.second_place else 0])
        os.makedirs(os.path.dirname(place))
        os.symlink(p.library, place)


def present(p, bundle):
    """The modules of the runtime that the bundle at bundle starts; None when unknown."""
    if p.o.runtime is not None:
        return jdk.modules(p.layout.runtime_home(bundle))
    return jdk.modules(p.home) if p.o.linked is not None else None


def lacking(p, text):
    """The line that names the module that the runtime's words in text show it to lack; None."""
    modules_there = present(p, p.at or p.bundle)
    if modules_there is None or not modules.missing(text):
        return None
    if p.jdk_image is None:
        home = jdk.with_tool(p.home, "jimage")
        if home is None:
            return None
        p.jdk_image = modules.JdkImage(home)
    found = modules.needed(text, p.jdk_image, modules_there)
    if found is None:
        return None
    if p.o.modules is not None:
        fix = "add it to -m"
    elif p.o.runtime is not None:
        fix = "the runtime given with -r lacks it (-r JDK -m MODULES links one that has it)"
    else:
        fix = "the runtime given with -L lacks it"
    return "the application needs %s (%s is not in the runtime): %s" % (found[0], found[1], fix)
