"""What the launch reads, as the check's --format json says, and what its classes need."""

import contextlib
import filecmp
import functools
import os
import re
import shutil
import zipfile

from . import jdk, modules, runtime
from .files import copy_followed, inside
from .report import Failure, note, tell

# The kinds of the check's reads that hold the application's classes.
CLASSES = ("class-path", "module-path", "main-jar", "agent", "manifest-class-path")


class Reach:
    """What the launch of the bundle at stage reads, as the check's answer data says."""

    def __init__(self, data, stage):
        self.bundle = stage
        self.reached = set()  # the real paths of what holds classes in the bundle
        # Reads from outside that the check warns about, Class-Path entries naming nothing.
        self.outside, self.dangling, self.directories = [], [], []
        self.held = set()  # the classes of what is read from outside
        for read in data["reads"]:
            path = read["path"]
            if read["kind"] not in CLASSES:
                continue
            if not read["exists"]:
                if "manifest" in read["from"]:
                    self.dangling.append(read)
                continue
            if os.path.isdir(path):
                self.directories.append(read)
            if not read["inside"]:
                self.held.update(classes(path))
                if read["finding"]:
                    if "manifest" not in read["from"]:
                        read = dict(read, **{"from": read["finding"]})
                    self.outside.append(read)
                continue
            self.reached.add(os.path.realpath(path))
        self.roots = data["roots"] + providers(sorted(r for r in self.reached
                                                      if r.endswith(".jar")))


def classes(path):
    """The names of the classes in the jar or class path directory path."""
    names = [os.path.relpath(os.path.join(d, n), path)
             for d, _, files in os.walk(path) for n in files]
    with contextlib.suppress(modules.ZIP_ERRORS):
        with zipfile.ZipFile(path) as z:
            names = z.namelist()
    return [modules.class_name(n) for n in names if modules.class_name(n)]


def providers(jars):
    """The service providers that the META-INF/services of jars name: the loaders start them."""
    found = []
    for jar in jars:
        with contextlib.suppress(modules.ZIP_ERRORS):
            with zipfile.ZipFile(jar) as z:
                for name in z.namelist():
                    if name.startswith("META-INF/services/") and not name.endswith("/"):
                        found += [line.split("#")[0].strip() for line in
                                  z.read(name).decode("utf-8", "replace").splitlines()]
    return [c for c in found if c]


def said(p, stage, read):
    """Who names what read reads: the line of the user's file, or the jar whose manifest does."""
    where = read["from"]
    if "manifest" in where:
        return "the manifest Class-Path of " + shown(p, stage, where["manifest"])
    if where.get("line") is None:
        return p.o.cfg + " (its class path)"
    cfg = os.path.join(p.layout.app(stage), p.o.name + ".cfg")
    return "%s:%d" % (p.o.cfg if where["file"] == cfg else where["file"], where["line"])


def shown(p, stage, path):
    """path as it will be in the finished bundle."""
    if inside(path, stage):
        return os.path.join(p.bundle, os.path.relpath(os.path.realpath(path),
                                                      os.path.realpath(stage)))
    return path


def launch(p, stage):
    """The check's data of the launch at stage (None: it fails), the given runtime standing in."""
    home = p.layout.runtime_home(stage)
    library = p.library or (p.home and os.path.realpath(os.path.join(
        p.home, jdk.launch_library(p.home, p.layout.home_libraries))))
    if not library or os.path.lexists(home):
        return p.checker.launch(stage)
    place = os.path.join(home, p.layout.home_libraries[0])
    os.makedirs(os.path.dirname(place))
    os.symlink(library, place)
    try:
        return p.checker.launch(stage)
    finally:
        shutil.rmtree(os.path.join(stage, p.layout.runtime_dir))


def class_path(data):
    return [r["path"] for r in data["reads"] if r["kind"] == "class-path"]


def settle(p, stage):
    """Fails on a jar that the launch reads from outside the bundle; --copy-outside copies it in."""
    data = launch(p, stage)
    if data is None:
        return
    reach = Reach(data, stage)
    if reach.outside and not p.o.copy_outside:
        read = reach.outside[0]
        more = len(reach.outside) - 1
        raise Failure("%s names %s, outside the bundle: it is read here and missing on another "
                      "machine%s (--copy-outside ships it in Contents/app on the class path)" %
                      (said(p, stage, read), read["path"],
                       " (and %d more such)" % more if more else ""))
    if reach.outside:
        modular = [r["path"] for r in reach.outside if r["kind"] == "module-path"]
        if modular:
            raise Failure("--copy-outside puts jars on the class path, not on the module path "
                          "that names %s: ship it among the FILEs" % modular[0])
        if data["main"]["jar"] is not None:
            raise Failure("--copy-outside cannot put %s on the class path: the application "
                          "starts with app.mainjar, whose class path is its manifest's" %
                          reach.outside[0]["path"])
        copied = copy_outside(p, stage, data, reach.outside)
        before = class_path(data)
        data = launch(p, stage) or data
        if class_path(data) != before + copied:
            raise Failure("the jars copied by --copy-outside do not reach the launcher's class "
                          "path (applauncher-check --format json %s shows what does)" % p.bundle)
        reach = Reach(data, stage)
    for read in reach.dangling:
        tell("warning: the manifest Class-Path of %s names %s, which is not in the bundle: the "
             "runtime passes over it" % (shown(p, stage, read["from"]["manifest"]),
                                         shown(p, stage, read["path"])))
    p.reach = reach


def copy_outside(p, stage, data, outside):
    """Copies outside into the app directory and onto its class path; returns the copies."""
    app = p.layout.app(stage)
    cfg_path = os.path.join(app, p.o.name + ".cfg")
    lines = [r["from"]["line"] for r in data["reads"] + outside if r["kind"] == "class-path"
             and r["from"].get("file") == cfg_path and r["from"]["line"]]
    if not lines:
        raise Failure("--copy-outside adds to app.classpath, which %s does not set" % p.o.cfg)
    copied = []
    for path in [r["path"] for r in outside]:
        target = os.path.join(app, os.path.basename(path))
        if not os.path.lexists(target):
            copy_followed(path, target)
            note("copied %s into the bundle (--copy-outside)" % path)
        elif not (os.path.isfile(path) and os.path.isfile(target) and
                  filecmp.cmp(path, target, shallow=False)):
            raise Failure("--copy-outside cannot copy %s into the bundle: %s, another file of "
                          "that name, is there already" % (path, shown(p, stage, target)))
        copied.append(target)
    # The value expands to the copy's path: $ and \ in its name are written escaped.
    added = [b"app.classpath=$APPDIR/" + os.fsencode(os.path.basename(t)).replace(
        b"\\", b"\\\\").replace(b"$", b"\\$") for t in copied]
    with open(cfg_path, "rb") as f:
        text = f.read().split(b"\n")
    text[max(lines):max(lines)] = added
    with open(cfg_path, "wb") as f:
        f.write(b"\n".join(text))
    p.cfg_map.added(max(lines), len(added), "--copy-outside")
    return copied


def analysis(p, stage):
    """What jdeps finds in Contents/app of the bundle at stage, asked once."""
    if p.analysis is None:
        home = jdk.with_tool(p.home, "jdeps")
        if home is None:
            return None
        app = p.layout.app(stage)
        sources = [os.path.join(app, n) for n in sorted(os.listdir(app))
                   if n != p.o.name + ".cfg"]
        p.analysis = modules.analyse(home, sources)
    return p.analysis


def chains(found, starts):
    """{class: the shortest chain of uses that jdeps found from one of starts to it}."""
    reached = {start: (start,) for start in starts}
    todo = list(starts)
    for cls in todo:
        for used in found.calls.get(cls, ()):
            if used not in reached:
                reached[used] = reached[cls] + (used,)
                todo.append(used)
    return reached


def listing(items):
    return ", ".join(items[:3]) + (", ..." if len(items) > 3 else "")


def judge(p, stage):
    """Fails on a reached class off the class path or needing a missing module or class."""
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

    @functools.lru_cache(maxsize=None)
    def on_path(origin):
        return os.path.realpath(origin) in p.reach.reached

    starts = p.reach.roots or [c for c, where in found.origins.items()
                               if any(on_path(o) for o in where)]
    reached = chains(found, starts)

    def chain(cls):
        return " -> ".join(reached[cls])

    # A jar off the class path that a reached class needs fails the launch.
    for cls in reached:
        where = found.origins.get(cls, ())
        if where and not any(on_path(o) for o in where) and cls not in p.reach.held:
            jar = sorted(where)[0]
            raise Failure("%s uses %s from %s, which no class path entry or manifest reaches: "
                          "add $APPDIR/%s to app.classpath" % (
                              chain(cls).rpartition(" -> ")[0] or cls, cls,
                              shown(p, stage, jar), os.path.relpath(jar, app)))
    present = runtime.present(p, stage)
    for module, users in sorted(found.modules.items()) if present is not None else ():
        if module in present or module in p.o.ignored_modules:
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
            if used not in found.origins and used not in p.reach.held and used not in absent:
                if cls == main:
                    raise Failure("the main class %s uses %s, which no jar of the bundle "
                                  "holds" % (main, used))
                absent.append(used)
    if absent:
        one = len(absent) == 1
        note("%d %s that the launch reaches %s in no jar of the bundle (the application may "
             "do without): %s" % (len(absent), "class" if one else "classes",
                                  "is" if one else "are", listing(absent)))
    # Jars off the class path: the first class that uses each, if any.
    users = dict.fromkeys(jar for where in found.origins.values() for jar in where
                          if jar.endswith(".jar") and not on_path(jar))
    for cls, calls in found.calls.items():
        for used in calls:
            for jar in found.origins.get(used, ()):
                if jar in users and users[jar] is None:
                    users[jar] = cls
    if users:
        listed = ["%s%s" % (os.path.relpath(jar, app), "" if user is None else
                            " (used by %s)" % user) for jar, user in sorted(users.items())]
        one = len(listed) == 1
        it = "it" if one else "them"
        note("%s in Contents/app %s on no class path, and no class that the launch reaches "
             "uses %s (the application may load %s itself): %s" % (
                 "a jar" if one else "%d jars" % len(listed), "is" if one else "are", it, it,
                 listing(listed)))


def directory_source(p, output):
    """", brought in by ..." for the non-empty directory that output names; "" if unknown."""
    m = re.search(rb"non-empty directory '([^'\n]*)'", output)
    if m is None or p.reach is None:
        return ""
    named = os.path.normpath(os.fsdecode(m.group(1)))
    for read in p.reach.directories:
        if os.path.normpath(shown(p, p.reach.bundle, read["path"])) == named:
            return ", brought in by " + said(p, p.reach.bundle, read)
    return ""
