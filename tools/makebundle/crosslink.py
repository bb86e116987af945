"""Links a runtime for another platform: the host JDK's jlink, given a target JDK's jmods, and
then proof that the image is the target's.

The facts come from the tools: the target platform and version are what the JDK's own `jmod
describe` says of java.base.jmod, the platform an image was linked for is the ModuleTarget of
its java.base (the JDK's `jimage` and `javap` read it), and what a file's header says it is
built for is what `applauncher-check --arch` prints. The one rule of jlink's written here is
which versions it links (its own feature version; from Java 26 on, its own exact version), so
that a mismatch is refused in one line before anything is written.

    target = plan(jdk, jmods, launcher, check)      # before anything is written
    link(target, ["java.base"], output, check, ["--strip-debug"])
    if target.cross: note(archive_note(target))

Every failure of its own is a CrossLinkError whose text is one line. Tools run through
`run(command, what)`, by default make-bundle's own (programs.run_tool, which ends the child on
a signal and fails with the tool's complaint). Python 3.8, standard library only.
"""

import os
import re
import shutil
import tempfile

from . import programs
from .jdk import release

# The platforms that the launcher runs on, as the JDK names them (java.base's ModuleTarget),
# with the system and the architecture as applauncher-check --arch names them.
PLATFORMS = {
    "linux-amd64": ("linux", "x86_64"),
    "linux-aarch64": ("linux", "arm64"),
    "macos-amd64": ("macos", "x86_64"),
    "macos-aarch64": ("macos", "arm64"),
}

# The header formats of each system's code, and where its runtime keeps the launch library.
FORMATS = {"linux": ("ELF",), "macos": ("Mach-O", "universal")}
LAUNCH_LIBRARY = {"linux": "lib/libjli.so", "macos": "lib/libjli.dylib"}
LIBRARY_SUFFIX = {"linux": ".so", "macos": ".dylib"}

# What a runtime's release file may say (OS_NAME, OS_ARCH), in the JDK's platform words.
RELEASE_SYSTEMS = {"linux": "linux", "darwin": "macos", "macos": "macos", "mac os x": "macos"}
RELEASE_ARCHS = {"x86_64": "amd64", "amd64": "amd64", "aarch64": "aarch64", "arm64": "aarch64"}

# From this feature version on, jlink links only the jmods of its own exact version.
EXACT_VERSION_SINCE = 26

# What a base class-data archive saves at start-up, measured on Linux with jlink'd images of
# java.base and java.desktop starting a small application (median of 40 alternating runs:
# 168 against 121 ms on Java 17, 156 against 100 ms on Java 25).
ARCHIVE_COST = "starts 39% (Java 17) to 56% (Java 25) slower without it"


class CrossLinkError(Exception):
    """A failure to be reported as one line, with exit status 1."""


class Target:
    """What plan() found: the JDK whose tools run, the jmods and what they are for."""

    def __init__(self, jdk, jmods, platform, version, jlink_version, host_platform):
        self.jdk = jdk
        self.jmods = jmods
        self.platform = platform
        self.version = version
        self.jlink_version = jlink_version
        self.host_platform = host_platform
        self.system, self.arch = PLATFORMS[platform]

    @property
    def cross(self):
        """Whether the image is for another platform than the host's: jlink then makes no
        base class-data archive."""
        return self.platform != self.host_platform

    @property
    def launch_library(self):
        """The launch library's path inside an image for this platform."""
        return LAUNCH_LIBRARY[self.system]

    def wanted_headers(self):
        """The headers that this platform's code has, as applauncher-check --arch says them."""
        return " or ".join(f + " " + self.arch for f in FORMATS[self.system])


def jdk_tool(jdk, name):
    """The path of the JDK's tool name; CrossLinkError when it has none."""
    path = os.path.join(jdk, "bin", name)
    if not os.access(path, os.X_OK) or os.path.isdir(path):
        raise CrossLinkError("no bin/%s in the JDK %s (linking from jmods needs a JDK)" %
                             (name, jdk))
    return path


def feature(version):
    """The feature version (the first number) of a version text such as 17.0.21.1 or 26-ea."""
    m = re.match(r"(?:1\.)?([0-9]+)", version)
    return int(m.group(1)) if m else None


def describe_jmod(jdk, jmod, run=programs.run_tool):
    """(platform, version) of the module in jmod, as the JDK's `jmod describe` says them."""
    out = run([jdk_tool(jdk, "jmod"), "describe", jmod], "jmod describe " + jmod)
    lines = out.splitlines()
    head = re.match(r"\s*java\.base@(\S+)\s*$", lines[0]) if lines else None
    if head is None:
        raise CrossLinkError("%s is not java.base with a version: jmod describe says %r" %
                             (jmod, lines[0] if lines else ""))
    platforms = [line.split()[1] for line in lines if re.match(r"platform\s+\S", line)]
    if not platforms:
        raise CrossLinkError("jmod describe names no platform for " + jmod)
    return platforms[0], head.group(1)


def image_platform(jdk, home, run=programs.run_tool):
    """The platform that the image at home (a JDK or a jlink'd runtime) was linked for: the
    ModuleTarget of java.base's module-info.class in its lib/modules, as the JDK's jimage
    extracts it and its javap shows it."""
    modules = os.path.join(home, "lib", "modules")
    if not os.path.isfile(modules):
        raise CrossLinkError("no lib/modules in the runtime " + home)
    work = tempfile.mkdtemp(prefix="crosslink.")
    try:
        run([jdk_tool(jdk, "jimage"), "extract", "--dir", work,
             "--include", "regex:/java\\.base/module-info\\.class", modules],
            "jimage extract " + modules)
        info = os.path.join(work, "java.base", "module-info.class")
        if not os.path.isfile(info):
            raise CrossLinkError("the runtime %s holds no java.base module" % home)
        out = run([jdk_tool(jdk, "javap"), "-v", info], "javap " + info)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    m = re.search(r"^\s*target_platform:.*//\s*(\S+)\s*$", out, re.MULTILINE)
    if m is None:
        raise CrossLinkError("the java.base of the runtime %s names no target platform" % home)
    return m.group(1)


def release_platform(home):
    """(system, architecture) that the image's release file says (OS_NAME, OS_ARCH), in the
    JDK's platform words where they map, else as written; None for what it does not say."""
    values = release(home)
    system, arch = values.get("OS_NAME"), values.get("OS_ARCH")
    return (RELEASE_SYSTEMS.get(system.lower(), system) if system else None,
            RELEASE_ARCHS.get(arch.lower(), arch) if arch else None)


def headers(check, paths, run=programs.run_tool):
    """(format, [architectures]) of each file in paths, as `applauncher-check --arch` says."""
    out = run([check, "--arch"] + list(paths), "applauncher-check --arch")
    lines = out.splitlines()
    if len(lines) != len(paths):
        raise CrossLinkError("applauncher-check --arch gave %d lines for %d files: is %s the "
                             "check?" % (len(lines), len(paths), check))
    found = []
    for line in lines:
        fields = line.split(" ", 2)
        if len(fields) < 3:
            raise CrossLinkError("applauncher-check --arch printed %r" % line)
        found.append((fields[0], [] if fields[1] == "-" else fields[1].split(",")))
    return found


def holds_code_for(target, header):
    """Whether a file with header (format, architectures) holds code for the target."""
    return header[0] in FORMATS[target.system] and target.arch in header[1]


def header_text(header):
    return header[0] + " " + (",".join(header[1]) or "-")


def check_versions(jmods, version, jlink_version):
    """Raises CrossLinkError unless jlink of jlink_version may link java.base of version."""
    wanted, have = feature(version), feature(jlink_version)
    if wanted is None or have is None:
        raise CrossLinkError("cannot tell the feature versions of java.base@%s and jlink %s" %
                             (version, jlink_version))
    if wanted != have:
        raise CrossLinkError("the jmods in %s are Java %d (java.base@%s), the jlink is Java %d "
                             "(%s): jlink links only jmods of its own feature version" %
                             (jmods, wanted, version, have, jlink_version))
    if have >= EXACT_VERSION_SINCE and version != jlink_version:
        raise CrossLinkError("the jmods in %s are java.base@%s, the jlink is %s: from Java %d "
                             "on, jlink links only jmods of its own exact version" %
                             (jmods, version, jlink_version, EXACT_VERSION_SINCE))


def plan(jdk, jmods, launcher, check, expected=None, run=programs.run_tool):
    """Everything that can be known before linking: the target that jmods are for (refused
    when it is not expected, when the launcher holds no code for it, or when jdk's jlink cannot
    link it) and the host's own platform. check is a host build's applauncher-check."""
    jlink = jdk_tool(jdk, "jlink")
    base = os.path.join(jmods, "java.base.jmod")
    if not os.path.isfile(base):
        # jlink would not say a word: it would link the host's own modules instead.
        raise CrossLinkError("no java.base.jmod in %s: it is not a JDK's jmods directory" % jmods)
    platform, version = describe_jmod(jdk, base, run)
    if platform not in PLATFORMS:
        raise CrossLinkError("the jmods in %s are for %s; the launcher runs on %s" %
                             (jmods, platform, ", ".join(PLATFORMS)))
    if expected is not None and platform != expected:
        raise CrossLinkError("the jmods in %s are for %s, not %s" % (jmods, platform, expected))
    jlink_version = programs.last_line(run([jlink, "--version"], "jlink --version"))
    check_versions(jmods, version, jlink_version)
    target = Target(jdk, jmods, platform, version, jlink_version, image_platform(jdk, jdk, run))
    header = headers(check, [launcher], run)[0]
    if not holds_code_for(target, header):
        raise CrossLinkError("the launcher %s is %s: it holds no code for %s (%s)" %
                             (launcher, header_text(header), platform, target.wanted_headers()))
    return target


def link(target, modules, output, check, options=(), run=programs.run_tool):
    """Links modules from the target's jmods into output with the JDK's jlink and options, then
    proves the image (prove()); check is the applauncher-check that reads the headers."""
    command = [jdk_tool(target.jdk, "jlink"), "--module-path", target.jmods,
               "--add-modules", ",".join(modules)] + list(options) + ["--output", output]
    run(command, "jlink")
    prove(target, output, check, run)


def prove(target, home, check, run=programs.run_tool):
    """Raises CrossLinkError unless the image at home is the target's: java.base's target
    platform, the release file where it names one, and the header of every native library
    below lib (the launch library among them)."""
    linked = image_platform(target.jdk, home, run)
    if linked != target.platform:
        raise CrossLinkError("the runtime %s was linked for %s, not %s" %
                             (home, linked, target.platform))
    said = release_platform(home)
    if any(part is not None and part != want
           for part, want in zip(said, target.platform.split("-"))):
        raise CrossLinkError("the release file of the runtime %s says %s, not %s" %
                             (home, "-".join(part or "?" for part in said), target.platform))
    launch = os.path.join(home, target.launch_library)
    if not os.path.isfile(launch):
        raise CrossLinkError("the runtime %s has no %s" % (home, target.launch_library))
    libraries = [launch]
    suffix = LIBRARY_SUFFIX[target.system]
    for directory, dirs, names in os.walk(os.path.join(home, "lib")):
        dirs.sort()
        for name in sorted(names):
            path = os.path.join(directory, name)
            if name.endswith(suffix) and path != launch and not os.path.islink(path):
                libraries.append(path)
    for path, header in zip(libraries, headers(check, libraries, run)):
        if not holds_code_for(target, header):
            raise CrossLinkError("the runtime's %s is %s, not %s" %
                                 (os.path.relpath(path, home), header_text(header),
                                  target.wanted_headers()))


def archive_note(target):
    """The note for a runtime linked for another platform: no base class-data archive, what
    that costs and how a Mac (or a machine of the target's platform) adds it."""
    where = "a Mac" if target.system == "macos" else "a machine"
    return ("the runtime is linked for %s on %s, so it has no base class-data archive (jlink "
            "makes one only for its own platform) and %s; to add it, run the bundle's "
            "Contents/runtime/Contents/Home/bin/java -Xshare:dump on %s of that architecture "
            "before signing, or make the bundle there with make-bundle -a" %
            (target.platform, target.host_platform, ARCHIVE_COST, where))
