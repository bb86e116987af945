"""What the bundle's launch reads, and that it is all inside the bundle: the class path and
module path that the launcher hands to the runtime (applauncher-check --args says which), each
jar's manifest Class-Path followed as the runtime follows it. A jar read from outside the bundle
is there on this machine and missing on the user's; --copy-outside ships it. A jar in
Contents/app that the application uses and no class path reaches, and a module that its classes
use and the runtime lacks, fail the run too."""

import os
import re
import shutil
import urllib.parse
import zipfile

from . import children, jdk, modules
from .files import copy_followed, inside
from .report import Failure, note, tell

# The options of the runtime's command line that take the next argument as their value.
CLASS_PATH = ("-classpath", "-cp", "--class-path")
MODULE_PATH = ("--module-path", "-p")
VALUED = CLASS_PATH + MODULE_PATH + (
    "--add-modules", "--add-opens", "--add-exports", "--add-reads", "--limit-modules",
    "--patch-module", "--upgrade-module-path", "--enable-native-access")


def paths(args):
    """(class path, module path, main jar) that the runtime reads from its arguments args (the
    lines of applauncher-check --args, the launcher's path first); the last of each counts."""
    class_path, module_path, main_jar = [], [], None
    i = 1
    while i < len(args):
        arg = args[i]
        value = args[i + 1] if i + 1 < len(args) else ""
        if arg in CLASS_PATH:
            class_path = value.split(":")
        elif arg in MODULE_PATH:
            module_path = value.split(":")
        elif arg.startswith("-Djava.class.path="):
            class_path = arg.partition("=")[2].split(":")
        elif arg.startswith("--module-path="):
            module_path = arg.partition("=")[2].split(":")
        elif arg == "-jar":
            main_jar = value
            break
        elif arg in ("-m", "--module") or not arg.startswith("-"):
            break
        i += 2 if arg in VALUED else 1
    # A double-click starts the launcher in /, where the runtime resolves relative entries.
    return ([os.path.join("/", e) for e in class_path if e],
            [os.path.join("/", e) for e in module_path if e],
            None if main_jar is None else os.path.join("/", main_jar))


def manifest_class_path(jar):
    """The entries of the jar's manifest Class-Path (its continuation lines joined); [] for a
    jar without one or that cannot be read."""
    try:
        with zipfile.ZipFile(jar) as z:
            text = z.read("META-INF/MANIFEST.MF").decode("utf-8", "replace")
    except (KeyError, zipfile.BadZipFile, OSError, RuntimeError, EOFError):
        return []
    lines = []
    for line in text.replace("\r\n", "\n").replace("\r", "\n").split("\n"):
        if not line:
            break  # the main section ends at the first blank line
        if line.startswith(" ") and lines:
            lines[-1] += line[1:]
        else:
            lines.append(line)
    for line in lines:
        name, sep, value = line.partition(":")
        if sep and name.lower() == "class-path":
            return value.split()
    return []


def entry_path(jar, entry):
    """The file that a manifest Class-Path entry (a URL relative to the jar) names, or None for
    one that is no file."""
    url = urllib.parse.urlsplit(entry)
    if url.scheme not in ("", "file"):
        return None
    path = urllib.parse.unquote(url.path)
    return os.path.normpath(os.path.join(os.path.dirname(jar), path))


def expanded(entry):
    """A class path entry with its wildcard ("dir/*": the jars in dir) expanded."""
    if os.path.basename(entry) != "*":
        return [entry]
    directory = os.path.dirname(entry)
    try:
        names = sorted(os.listdir(directory))
    except OSError:
        return []
    return [os.path.join(directory, n) for n in names if n.lower().endswith(".jar")]


class Walk:
    """What the launch reads from the paths of a bundle's command line: reached (the real paths
    of the files and directories in the bundle), outside (path, the jar whose manifest names it
    or None for the command line), directories (a directory and the jar whose manifest named
    it, None for the command line), dangling (a manifest Class-Path entry that names nothing,
    and the jar) and, once settled, roots (where the launch starts) and held (the classes of
    what is read from outside)."""

    def __init__(self, bundle, class_path, module_path, covered=()):
        self.bundle = bundle
        self.reached = set()
        self.outside = []
        self.directories = []
        self.dangling = []
        self.roots = []
        self.held = set()
        self.covered = set(covered)
        seen = set()
        todo = [(e, None) for entry in class_path for e in expanded(entry)]
        for entry in module_path:
            if os.path.exists(entry) and not inside(entry, bundle):
                self.outside.append((entry, None))
            elif os.path.isdir(entry):
                self.reached.update(os.path.realpath(os.path.join(entry, n))
                                    for n in os.listdir(entry))
            self.reached.add(os.path.realpath(entry))
        while todo:
            path, via = todo.pop(0)
            children.SIGNALS.check()
            real = os.path.realpath(path)
            if via is not None and not os.path.exists(path):
                self.dangling.append((path, via))
            if real in seen or not os.path.exists(path) or real in self.covered:
                continue
            seen.add(real)
            if not inside(path, bundle):
                self.outside.append((path, via))
            else:
                self.reached.add(real)
            if os.path.isdir(path):
                self.directories.append((path, via))
            else:
                todo += [(p, path) for p in (entry_path(path, e)
                                             for e in manifest_class_path(path)) if p]


def said(p, stage, path, via):
    """Who names path: the jar whose manifest does, as shipped, or the configuration."""
    if via is None:
        try:
            with open(p.o.cfg, "rb") as f:
                lines = f.read().split(b"\n")
        except OSError:
            lines = []
        name = os.fsencode(os.path.basename(path))
        for number, line in enumerate(lines, 1):
            if name in line and b"=" in line:
                return "%s:%d" % (p.o.cfg, number)
        return p.o.cfg + " (its class path)"
    if inside(via, stage):
        return "the manifest Class-Path of " + shown(p, stage, via)
    return "the manifest Class-Path of " + via


def shown(p, stage, path):
    """path as it will be in the finished bundle."""
    if inside(path, stage):
        return os.path.join(p.bundle, os.path.relpath(os.path.realpath(path),
                                                      os.path.realpath(stage)))
    return path


def java_args(p, stage):
    """The arguments that the launcher of the bundle at stage hands to the runtime, with the
    given runtime's launch library standing in for the bundle's runtime, which is not there yet
    (the launcher finds its runtime first); None when the launcher would fail, which the check
    of the finished bundle tells."""
    home = p.layout.runtime_home(stage)

    def ask():
        status, out, _ = p.checker.run(["--args", stage])
        return [os.fsdecode(a) for a in out.split(b"\n")] if status in (0, 2) else None

    library = p.library or (p.home and os.path.realpath(os.path.join(
        p.home, jdk.launch_library(p.home, p.layout.home_libraries))))
    if not library or os.path.lexists(home):
        return ask()
    place = os.path.join(home, p.layout.home_libraries[0])
    os.makedirs(os.path.dirname(place))
    os.symlink(library, place)
    try:
        return ask()
    finally:
        shutil.rmtree(os.path.join(stage, p.layout.runtime_dir))


def settle(p, stage):
    """Follows what the launch of the bundle at stage reads; fails on a jar outside it, or
    with --copy-outside copies it into Contents/app and onto the class path."""
    args = java_args(p, stage)
    if args is None:
        return
    class_path, module_path, main_jar = paths(args)
    if main_jar is not None:
        class_path = [main_jar]
    walk = Walk(stage, class_path, module_path)
    if walk.outside and not p.o.copy_outside:
        path, via = walk.outside[0]
        more = len(walk.outside) - 1
        raise Failure("%s names %s, outside the bundle: it is read here and missing on another "
                      "machine%s (--copy-outside ships it in Contents/app on the class path)" %
                      (said(p, stage, path, via), path,
                       " (and %d more such)" % more if more else ""))
    if walk.outside:
        modular = [path for path, _ in walk.outside if path in module_path]
        if modular:
            raise Failure("--copy-outside puts jars on the class path, not on the module path "
                          "that names %s: ship it among the FILEs" % modular[0])
        if main_jar is not None:
            raise Failure("--copy-outside cannot put %s on the class path: the application "
                          "starts with app.mainjar, whose class path is its manifest's" %
                          walk.outside[0][0])
        copied = copy_outside(p, stage, [path for path, _ in walk.outside])
        new_class_path = paths(java_args(p, stage) or [])[0]
        if new_class_path != class_path + copied:
            raise Failure("the jars copied by --copy-outside do not reach the launcher's class "
                          "path (applauncher-check --args %s shows what does)" % p.bundle)
        walk = Walk(stage, new_class_path, module_path, [os.path.realpath(path)
                                                         for path, _ in walk.outside])
    jars = sorted(path for path in walk.reached if path.endswith(".jar"))
    walk.roots = roots(args, jars)
    for path, _ in walk.outside:
        walk.held.update(classes(path))
    for path, via in walk.dangling:
        tell("warning: the manifest Class-Path of %s names %s, which is not in the bundle: the "
             "runtime passes over it" % (shown(p, stage, via), shown(p, stage, path)))
    p.reach = walk


def classes(path):
    """The names of the classes in the jar or class path directory path."""
    if os.path.isdir(path):
        names = [os.path.relpath(os.path.join(d, n), path)
                 for d, _, files in os.walk(path) for n in files]
    else:
        try:
            with zipfile.ZipFile(path) as z:
                names = z.namelist()
        except (zipfile.BadZipFile, OSError, RuntimeError, EOFError):
            return []
    return [modules.class_name(n) for n in names if modules.class_name(n)]


def copy_outside(p, stage, outside):
    """Copies the outside files into the application directory and adds them to the class
    path of the bundle's configuration, after its last app.classpath line; returns their paths
    in stage."""
    app = p.layout.app(stage)
    cfg_path = os.path.join(app, p.o.name + ".cfg")
    with open(cfg_path, "rb") as f:
        lines = f.read().split(b"\n")
    last = [i for i, line in enumerate(lines) if line.lstrip().startswith(b"app.classpath")]
    if not last:
        raise Failure("--copy-outside adds to app.classpath, which %s does not set" % p.o.cfg)
    copied = []
    for path in outside:
        target = os.path.join(app, os.path.basename(path))
        if os.path.lexists(target):
            raise Failure("--copy-outside cannot copy %s into the bundle: Contents/app/%s is "
                          "there already" % (path, os.path.basename(path)))
        copy_followed(path, target)
        note("copied %s into the bundle (--copy-outside)" % path)
        copied.append(target)
    # The value expands to the copy's path: $ and \ in its name are written escaped.
    added = [b"app.classpath=$APPDIR/" + os.fsencode(os.path.basename(t)).replace(
        b"\\", b"\\\\").replace(b"$", b"\\$") for t in copied]
    lines[last[-1] + 1:last[-1] + 1] = added
    with open(cfg_path, "wb") as f:
        f.write(b"\n".join(lines))
    p.cfg_map.added(last[-1] + 1, len(added), "--copy-outside")
    return copied


def analysis(p, stage):
    """What jdeps finds in Contents/app of the bundle at stage, asked once."""
    if p.analysis is None:
        home = p.home if p.home and os.access(os.path.join(p.home, "bin", "jdeps"),
                                              os.X_OK) else jdk.find()
        if home is None or not os.access(os.path.join(home, "bin", "jdeps"), os.X_OK):
            return None
        app = p.layout.app(stage)
        sources = [os.path.join(app, n) for n in sorted(os.listdir(app))
                   if n != p.o.name + ".cfg"]
        p.analysis = modules.analyse(home, sources)
    return p.analysis


def runtime_modules(p, stage):
    """The modules of the runtime that the bundle at stage starts, None when unknown."""
    if p.o.runtime is not None:
        return jdk.modules(p.layout.runtime_home(stage))
    if p.o.linked is not None:
        return jdk.modules(p.home)
    return None


def manifest_main(jar, names=("Main-Class", "Launcher-Agent-Class")):
    """The classes that the main section of jar's manifest names under names."""
    try:
        with zipfile.ZipFile(jar) as z:
            text = z.read("META-INF/MANIFEST.MF").decode("utf-8", "replace")
    except (KeyError, zipfile.BadZipFile, OSError, RuntimeError, EOFError):
        return []
    found = []
    for line in text.replace("\r\n", "\n").split("\n"):
        if not line:
            break
        name, sep, value = line.partition(":")
        if sep and name in names and value.strip():
            found.append(value.strip())
    return found


def roots(args, jars):
    """The classes where the launch starts (the main class, each agent's Premain-Class, the
    providers that the META-INF/services of jars name); [] when the main class is not known."""
    main = []
    i = 1
    while i < len(args):
        arg = args[i]
        if arg == "-jar" and i + 1 < len(args):
            main += manifest_main(os.path.join("/", args[i + 1]))
            break
        if arg in ("-m", "--module") and i + 1 < len(args):
            main = args[i + 1].split("/", 1)[1:] + main
            break
        if arg.startswith("-javaagent:"):
            main += manifest_main(arg[len("-javaagent:"):].split("=", 1)[0], ("Premain-Class",))
        elif not arg.startswith("-"):
            main.insert(0, arg)
            break
        i += 2 if arg in VALUED else 1
    if i >= len(args) or not main:
        return []
    providers = []
    for jar in jars:
        try:
            with zipfile.ZipFile(jar) as z:
                for name in z.namelist():
                    if name.startswith("META-INF/services/") and not name.endswith("/"):
                        providers += [line.split("#")[0].strip() for line in
                                      z.read(name).decode("utf-8", "replace").splitlines()]
        except (zipfile.BadZipFile, OSError, RuntimeError, EOFError):
            pass
    return main + [c for c in providers if c]


def chains(found, starts):
    """The classes that starts reach through the uses that jdeps found: class: the shortest
    chain of classes from a start to it."""
    reached = {start: (start,) for start in starts}
    todo = list(starts)
    for cls in todo:
        for used in found.calls.get(cls, ()):
            if used not in reached:
                reached[used] = reached[cls] + (used,)
                todo.append(used)
    return reached


def judge(p, stage):
    """Fails when a class that the launch reaches from its roots (the main class, the agents,
    the services' providers) lies only in a jar of Contents/app that no class path reaches, or
    uses a module that the runtime lacks, or when the main class uses a class that no jar holds;
    the same of classes that the launch never reaches are notes."""
    try:
        found = analysis(p, stage)
    except Failure as e:
        found = None
        note("the modules and jars that the classes use are not checked: " + str(e))
    if found is None or p.reach is None:
        if found is None and p.home is None:
            note("no JDK found: the modules and jars that the classes use are not checked")
        return
    app = p.layout.app(stage)
    real = {}

    def on_path(origin):
        if origin not in real:
            real[origin] = os.path.realpath(origin)
        return real[origin] in p.reach.reached

    starts = p.reach.roots or [c for c, where in found.origins.items()
                               if any(on_path(o) for o in where)]
    reached = chains(found, starts)
    elsewhere = p.reach.held

    def chain(cls):
        return " -> ".join(reached[cls])

    # A jar off the class path that a reached class needs fails the launch.
    for cls in reached:
        where = found.origins.get(cls, ())
        if where and not any(on_path(o) for o in where) and cls not in elsewhere:
            jar = sorted(where)[0]
            raise Failure("%s uses %s from %s, which no class path entry or manifest reaches: "
                          "add $APPDIR/%s to app.classpath" % (
                              chain(cls).rpartition(" -> ")[0] or cls, cls,
                              shown(p, stage, jar), os.path.relpath(jar, app)))
    present = runtime_modules(p, stage)
    ignored = p.o.ignored_modules
    for module, users in sorted(found.modules.items()) if present is not None else ():
        if module in present or module in ignored:
            continue
        used = [u for u in users if u in reached]
        if used:
            raise Failure("the application needs %s (used by %s), which the runtime lacks: "
                          "add it to -m, or --ignore-module %s when it is optional" %
                          (module, chain(used[0]), module))
        note("%s, which the runtime lacks, is used only by classes that the launch does not "
             "reach (%s)" % (module, users[0]))
    main = starts[0] if p.reach.roots else None
    absent = []
    for cls in reached:
        for used in found.calls.get(cls, ()):
            if used not in found.origins and used not in elsewhere and used not in absent:
                if cls == main:
                    raise Failure("the main class %s uses %s, which no jar of the bundle "
                                  "holds" % (main, used))
                absent.append(used)
    if absent:
        note("%d %s that the launch reaches %s in no jar of the bundle (the application may "
             "do without): %s" % (len(absent), "class" if len(absent) == 1 else "classes",
                                  "is" if len(absent) == 1 else "are",
                                  ", ".join(absent[:3]) + (", ..." if len(absent) > 3 else "")))
    # Jars off the class path: the first class that uses each, if any.
    users = {}
    for where in found.origins.values():
        for jar in where:
            if jar.endswith(".jar") and not on_path(jar):
                users.setdefault(jar, None)
    for cls, calls in found.calls.items():
        for used in calls:
            for jar in found.origins.get(used, ()):
                if jar in users and users[jar] is None:
                    users[jar] = cls
    if users:
        listed = ["%s%s" % (os.path.relpath(jar, app), "" if user is None else
                            " (used by %s)" % user) for jar, user in sorted(users.items())]
        note("%s in Contents/app %s on no class path, and no class that the launch reaches "
             "uses %s (the application may load %s itself): %s" % (
                 "a jar" if len(listed) == 1 else "%d jars" % len(listed),
                 "is" if len(listed) == 1 else "are", "it" if len(listed) == 1 else "them",
                 "it" if len(listed) == 1 else "them",
                 ", ".join(listed[:3]) + (", ..." if len(listed) > 3 else "")))


def directory_source(p, output):
    """What brought in the non-empty directory that the runtime's words in output name (the
    class-data archive refuses one before a jar that it loads from): ", brought in by ..."; ""
    when that is not known."""
    m = re.search(rb"non-empty directory '([^'\n]*)'", output)
    if m is None or p.reach is None:
        return ""
    named = os.path.normpath(os.fsdecode(m.group(1)))
    for directory, via in p.reach.directories:
        if os.path.normpath(shown(p, p.reach.bundle, directory)) == named:
            return ", brought in by " + said(p, p.reach.bundle, directory, via)
    return ""
