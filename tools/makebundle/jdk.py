"""The installed JDK, found in one way for everything, and what a runtime's home holds."""

import contextlib
import os
import re
import subprocess
import sys

from .report import Failure

# A Linux runtime's launch library, which the host build's bundles link at the macOS place.
LINUX_LAUNCH_LIBRARY = "lib/libjli.so"


def is_jdk(home):
    """Whether home holds a JDK (a runtime with its compiler), not only a runtime."""
    return bool(home) and os.access(os.path.join(home, "bin", "javac"), os.X_OK)


def find(environ=None):
    """The JDK home of JAVA_HOME, else of `java` on PATH, else of /usr/libexec/java_home; None."""
    environ = os.environ if environ is None else environ
    homes = [environ.get("JAVA_HOME", "")]
    for directory in environ.get("PATH", "").split(os.pathsep):
        java = os.path.join(directory or ".", "java")
        if os.path.isfile(java) and os.access(java, os.X_OK):
            homes.append(os.path.dirname(os.path.dirname(os.path.realpath(java))))
    home = next((home for home in homes if is_jdk(home)), None)
    # macOS's /usr/bin/java is a stub outside every JDK; the system names the JDK it stands for.
    if home is None and os.access("/usr/libexec/java_home", os.X_OK):
        with contextlib.suppress(OSError, subprocess.TimeoutExpired):
            home = os.fsdecode(subprocess.run(["/usr/libexec/java_home"], stdout=subprocess.PIPE,
                                              stderr=subprocess.DEVNULL, timeout=30).stdout.strip())
    return home if is_jdk(home) else None


def with_tool(home, tool):
    """home when it has bin/tool, else the installed JDK when that has it; None."""
    if not (home and os.access(os.path.join(home, "bin", tool), os.X_OK)):
        home = find()
    return home if home and os.access(os.path.join(home, "bin", tool), os.X_OK) else None


def launch_library(home, libraries):
    """The first of libraries or the Linux launch library that is a file below home; None."""
    for relative in list(libraries) + [LINUX_LAUNCH_LIBRARY]:
        if os.path.isfile(os.path.join(home, relative)):
            return relative
    return None


def home_of(path, libraries):
    """The runtime's home for path: path itself, or its Contents/Home (a macOS .jdk)."""
    if not os.path.isdir(path):
        raise Failure("no runtime at " + path)
    inner = os.path.join(path, "Contents", "Home")
    if launch_library(path, libraries) is None and os.path.isdir(inner):
        path = inner
    if launch_library(path, libraries) is None:
        raise Failure("no launch library (" + ", ".join(list(libraries) + [LINUX_LAUNCH_LIBRARY]) +
                      ") in the runtime " + path)
    return path


def release(home):
    try:
        with open(os.path.join(home, "release"), encoding="utf-8", errors="replace") as f:
            text = f.read()
    except OSError:
        return {}
    return dict(re.findall(r'^([A-Z_]+)="([^"]*)"', text, re.MULTILINE))


def version(home):
    """(numbers, early_access) of the runtime at home by its release file, "1.8.0_402": (8, 0)."""
    given = release(home).get("JAVA_VERSION")
    if given is None:
        raise Failure("no JAVA_VERSION in the release file of the runtime " + home +
                      " (it tells the runtime's version)")
    return version_numbers(given, "the release file of the runtime " + home)


def version_numbers(given, source):
    """(numbers, early_access) of a version text such as "25.0.3" or "26-ea", read from source."""
    m = re.match(r"(1\.)?([0-9]+(?:\.[0-9]+)*)(.*)", given)
    if not m:
        raise Failure("%s gives the version %r" % (source, given))
    return tuple(int(n) for n in m.group(2).split(".")), m.group(3).startswith("-")


def modules(home):
    listed = release(home).get("MODULES")
    return None if listed is None else listed.split()


def main(argv):
    """tools/find-jdk: prints the installed JDK's home; status 1 without one or a tool of argv."""
    home = find()
    if home is None:
        print("find-jdk: no JDK found (set JAVA_HOME to one, or put its java on PATH)",
              file=sys.stderr)
        return 1
    for tool in argv:
        if not os.access(os.path.join(home, "bin", tool), os.X_OK):
            print("find-jdk: no %s in %s (a JDK with %s is needed)" % (tool, home, tool),
                  file=sys.stderr)
            return 1
    print(home)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
