"""A runtime linked from another platform's jmods, proved to be that platform's by its tools."""

import os
import re
import shutil
import tempfile

from .jdk import release
from .programs import last_line, run_tool
from .report import Failure

# The launcher's platforms as the JDK names them, with their system and --arch architecture.
PLATFORMS = {
    "linux-amd64": ("linux", "x86_64"),
    "linux-aarch64": ("linux", "arm64"),
    "macos-amd64": ("macos", "x86_64"),
    "macos-aarch64": ("macos", "arm64"),
}

# The header formats of each system's code, and the suffix of its libraries.
FORMATS = {"linux": ("ELF",), "macos": ("Mach-O", "universal")}
LIBRARY_SUFFIX = {"linux": ".so", "macos": ".dylib"}

# What a runtime's release file may say (OS_NAME, OS_ARCH), in the JDK's platform words.
RELEASE_SYSTEMS = {"linux": "linux", "darwin": "macos", "macos": "macos", "mac os x": "macos"}
RELEASE_ARCHS = {"x86_64": "amd64", "amd64": "amd64", "aarch64": "aarch64", "arm64": "aarch64"}

# From this feature version on, jlink links only the jmods of its own exact version.
EXACT_VERSION_SINCE = 26

# What a base class-data archive saves at start-up (a small application on java.base and
# java.desktop, median of 40 runs: 168 against 121 ms on Java 17, 156 against 100 on Java 25).
ARCHIVE_COST = "starts 39% (Java 17) to 56% (Java 25) slower without it"


class Target:
    """What plan() found: the JDK whose tools run, the jmods and what they are for."""

    def __init__(self, jdk, jmods, platform, version, host_platform):
        self.jdk = jdk
        self.jmods = jmods
        self.platform = platform
        self.version = version
        self.host_platform = host_platform
        self.system, self.arch = PLATFORMS[platform]

    @property
    def cross(self):
        """Whether the image is for another platform than the host's (and has no base archive)."""
        return self.platform != self.host_platform

    def wanted_headers(self):
        return " or ".join(f + " " + self.arch for f in FORMATS[self.system])


def jdk_tool(jdk, name):
    path = os.path.join(jdk, "bin", name)
    if not os.access(path, os.X_OK) or os.path.isdir(path):
        raise Failure("no bin/%s in the JDK %s (linking from jmods needs a JDK)" % (name, jdk))
    return path


def feature(version):
    """The feature version (the first number) of a version text such as 17.0.21.1 or 26-ea."""
    m = re.match(r"(?:1\.)?([0-9]+)", version)
    return int(m.group(1)) if m else None


def describe_jmod(jdk, jmod):
    """(platform, version) of the module in jmod, as the JDK's `jmod describe` says them."""
    out = run_tool([jdk_tool(jdk, "jmod"), "describe", jmod], "jmod describe " + jmod)
    lines = out.splitlines()
    head = re.match(r"\s*java\.base@(\S+)\s*$", lines[0]) if lines else None
    if head is None:
        raise Failure("%s is not java.base with a version: jmod describe says %r" %
                      (jmod, lines[0] if lines else ""))
    platforms = [line.split()[1] for line in lines if re.match(r"platform\s+\S", line)]
    if not platforms:
        raise Failure("jmod describe names no platform for " + jmod)
    return platforms[0], head.group(1)


def image_platform(jdk, home):
    """The platform of the image at home: its java.base's ModuleTarget, by jimage and javap."""
    modules = os.path.join(home, "lib", "modules")
    if not os.path.isfile(modules):
        raise Failure("no lib/modules in the runtime " + home)
    work = tempfile.mkdtemp(prefix="crosslink.")
    try:
        run_tool([jdk_tool(jdk, "jimage"), "extract", "--dir", work, "--include",
                  "regex:/java\\.base/module-info\\.class", modules], "jimage extract " + modules)
        info = os.path.join(work, "java.base", "module-info.class")
        if not os.path.isfile(info):
            raise Failure("the runtime %s holds no java.base module" % home)
        out = run_tool([jdk_tool(jdk, "javap"), "-v", info], "javap " + info)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    m = re.search(r"^\s*target_platform:.*//\s*(\S+)\s*$", out, re.MULTILINE)
    if m is None:
        raise Failure("the java.base of the runtime %s names no target platform" % home)
    return m.group(1)


def headers(check, paths):
    """(format, [architectures]) of each file in paths, as `applauncher-check --arch` says."""
    out = run_tool([check, "--arch"] + list(paths), "applauncher-check --arch")
    lines = out.splitlines()
    if len(lines) != len(paths):
        raise Failure("applauncher-check --arch gave %d lines for %d files: is %s the "
                      "check?" % (len(lines), len(paths), check))
    found = []
    for line in lines:
        fields = line.split(" ", 2)
        if len(fields) < 3:
            raise Failure("applauncher-check --arch printed %r" % line)
        found.append((fields[0], [] if fields[1] == "-" else fields[1].split(",")))
    return found


def holds_code_for(target, header):
    return header[0] in FORMATS[target.system] and target.arch in header[1]


def header_text(header):
    return header[0] + " " + (",".join(header[1]) or "-")


def check_versions(jmods, version, jlink_version):
    wanted, have = feature(version), feature(jlink_version)
    if wanted is None or have is None:
        raise Failure("cannot tell the feature versions of java.base@%s and jlink %s" %
                      (version, jlink_version))
    if wanted != have:
        raise Failure("the jmods in %s are Java %d (java.base@%s), the jlink is Java %d "
                      "(%s): jlink links only jmods of its own feature version" %
                      (jmods, wanted, version, have, jlink_version))
    if have >= EXACT_VERSION_SINCE and version != jlink_version:
        raise Failure("the jmods in %s are java.base@%s, the jlink is %s: from Java %d "
                      "on, jlink links only jmods of its own exact version" %
                      (jmods, version, jlink_version, EXACT_VERSION_SINCE))


def plan(jdk, jmods, launcher, check, expected=None):
    """The Target of jmods, unless unexpected, foreign to the launcher or unlinkable by jdk."""
    jlink = jdk_tool(jdk, "jlink")
    base = os.path.join(jmods, "java.base.jmod")
    if not os.path.isfile(base):
        # jlink would not say a word: it would link the host's own modules instead.
        raise Failure("no java.base.jmod in %s: it is not a JDK's jmods directory" % jmods)
    platform, version = describe_jmod(jdk, base)
    if platform not in PLATFORMS:
        raise Failure("the jmods in %s are for %s; the launcher runs on %s" %
                      (jmods, platform, ", ".join(PLATFORMS)))
    if expected is not None and platform != expected:
        raise Failure("the jmods in %s are for %s, not %s" % (jmods, platform, expected))
    jlink_version = last_line(run_tool([jlink, "--version"], "jlink --version"))
    check_versions(jmods, version, jlink_version)
    target = Target(jdk, jmods, platform, version, image_platform(jdk, jdk))
    header = headers(check, [launcher])[0]
    if not holds_code_for(target, header):
        raise Failure("the launcher %s is %s: it holds no code for %s (%s)" %
                      (launcher, header_text(header), platform, target.wanted_headers()))
    return target


def link(target, modules, output, check, options):
    run_tool([jdk_tool(target.jdk, "jlink"), "--module-path", target.jmods, "--add-modules",
              ",".join(modules)] + options + ["--output", output], "jlink")
    prove(target, output, check)


def prove(target, home, check):
    """Fails unless java.base, the release file and every library of home are the target's."""
    linked = image_platform(target.jdk, home)
    if linked != target.platform:
        raise Failure("the runtime %s was linked for %s, not %s" % (home, linked, target.platform))
    values = release(home)
    said = [words.get(values[key].lower(), values[key]) if values.get(key) else None
            for key, words in (("OS_NAME", RELEASE_SYSTEMS), ("OS_ARCH", RELEASE_ARCHS))]
    if any(part is not None and part != want
           for part, want in zip(said, target.platform.split("-"))):
        raise Failure("the release file of the runtime %s says %s, not %s" %
                      (home, "-".join(part or "?" for part in said), target.platform))
    suffix = LIBRARY_SUFFIX[target.system]
    launch = os.path.join(home, "lib/libjli" + suffix)
    if not os.path.isfile(launch):
        raise Failure("the runtime %s has no lib/libjli%s" % (home, suffix))
    libraries = [launch]
    for directory, dirs, names in os.walk(os.path.join(home, "lib")):
        dirs.sort()
        for name in sorted(names):
            path = os.path.join(directory, name)
            if name.endswith(suffix) and path != launch and not os.path.islink(path):
                libraries.append(path)
    for path, header in zip(libraries, headers(check, libraries)):
        if not holds_code_for(target, header):
            raise Failure("the runtime's %s is %s, not %s" %
                          (os.path.relpath(path, home), header_text(header),
                           target.wanted_headers()))


def archive_note(target):
    where = "a Mac" if target.system == "macos" else "a machine"
    return ("the runtime is linked for %s on %s, so it has no base class-data archive (jlink "
            "makes one only for its own platform) and %s; to add it, run the bundle's "
            "Contents/runtime/Contents/Home/bin/java -Xshare:dump on %s of that architecture "
            "before signing, or make the bundle there with make-bundle -a" %
            (target.platform, target.host_platform, ARCHIVE_COST, where))
