"""Everything make-bundle checks before it writes anything, and what it resolves on the way."""

import os
import platform
import shutil

from . import archive, crosslink, dittozip, icns, infoplist, jdk, modules
from .check import Checker
from .files import broken_link, inside
from .findings import CfgMap
from .report import Failure, note


class Plan:
    """The resolved inputs of one bundle, and what the run learns about it on the way."""

    home = library = modules = analysis = reach = version = early_access = jdk_image = None
    target = icon_data = zip = zip_temporary = None
    at = None  # where the bundle lies while it is checked before it takes its place

    def __init__(self, o):
        self.o = o
        self.shown = set()
        self.staged = []


def plan(o):
    """Checks every input of the options o; returns the Plan."""
    p = Plan(o)
    if not os.path.isfile(o.launcher):
        raise Failure("no launcher at " + o.launcher)
    if not os.path.isfile(o.cfg):
        raise Failure("no configuration file at " + o.cfg)
    if o.icon is not None:
        if not os.path.exists(o.icon):
            raise Failure("no icon at " + o.icon)
        # An .icns file goes in as it is; a PNG or an .iconset becomes one.
        p.icon_data = icns.icns_from(o.icon)
    p.checker = Checker.locate(o.launcher, o.checker)
    p.layout = p.checker.layout()
    p.info_bytes = infoplist.info_bytes(o)

    p.copies = []
    for f in o.files:
        if not os.path.lexists(f):
            raise Failure("no file or directory at " + f)
        why = None if o.keep_links else broken_link(f)
        if why:
            raise Failure("the link " + f + " " + why)
        p.copies.append((f, os.path.basename(os.path.normpath(f))))

    if os.path.lexists(o.outdir) and not os.path.isdir(o.outdir):
        raise Failure(o.outdir + " exists and is not a directory")
    p.outdir = os.path.abspath(o.outdir)
    p.bundle = os.path.join(p.outdir, o.name + ".app")
    if os.path.lexists(p.bundle):
        if os.path.islink(p.bundle) or not os.path.isdir(p.bundle):
            raise Failure(p.bundle + " exists and is not a directory")
        if os.listdir(p.bundle) and not os.path.isdir(os.path.join(p.bundle, "Contents")):
            raise Failure(p.bundle + " exists and is not a bundle; it is left as it is")
    if o.zip:
        p.zip = dittozip.zip_path(p.bundle)
        if os.path.isdir(p.zip):
            raise Failure(p.zip + " exists and is a directory, not a zip")
        dittozip.entry_time()  # a SOURCE_DATE_EPOCH that is no time fails here
    p.cfg_map = CfgMap(os.path.join(p.layout.app(p.bundle), o.name + ".cfg"), o.cfg)

    libraries = p.layout.home_libraries
    if (o.jmods or o.modules or o.archive) and o.runtime is None and o.linked is None:
        o.runtime = jdk.find()
        if o.runtime is None:
            raise Failure("no JDK to link with (%s): give one with -r, or set JAVA_HOME" %
                          ("--jmods" if o.jmods else "-m" if o.modules else "-a"))
        if o.jmods is None:
            note("-r %s: the installed JDK (tools/find-jdk), as no runtime was given" %
                 o.runtime)
    if o.runtime is not None:
        p.home = jdk.home_of(o.runtime, libraries)
        if o.modules is not None:
            for tool in ["jlink"] + (["jdeps"] if modules.AUTO in o.modules.split(",") else []):
                if not os.access(os.path.join(p.home, "bin", tool), os.X_OK):
                    raise Failure("no bin/%s in the runtime %s (-m needs a JDK)" % (tool, p.home))
    elif o.linked is not None:
        p.home = jdk.home_of(o.linked, libraries)
        p.library = os.path.realpath(os.path.join(p.home, jdk.launch_library(p.home, libraries)))
    elif o.library is not None:
        if not os.path.isfile(o.library):
            raise Failure("no library at " + o.library)
        p.library = os.path.realpath(o.library)
    for given, path in ((o.runtime, p.home), (o.linked, p.home), (o.library, p.library),
                        (o.jmods, o.jmods)):
        if given is not None and os.path.lexists(p.bundle) and inside(path, p.bundle):
            raise Failure("the runtime " + given + " lies inside the bundle " + p.bundle +
                          " that is to be replaced")

    if o.jmods is not None:
        p.target = t = crosslink.plan(p.home, o.jmods, o.launcher, p.checker.path, o.platform)
        if o.archive and t.cross:
            raise Failure("-a makes its archive in a trial run, which a runtime for %s cannot "
                          "do on %s: make the bundle with -a on a %s machine" %
                          (t.platform, t.host_platform, t.platform))
        note("the jmods in %s are for %s (java.base@%s)" % (o.jmods, t.platform, t.version))

    if o.archive:
        p.version, p.early_access = archive.runtime_version(
            p.home, p.target.version if p.target else None)

    if o.identity is not None:
        if platform.system() != "Darwin":
            raise Failure("-s signs only on macOS")
        if shutil.which("codesign") is None:
            raise Failure("-s needs codesign (xcode-select --install)")
        if not os.path.isfile(o.entitlements):
            raise Failure("no entitlements at " + o.entitlements)
    return p
